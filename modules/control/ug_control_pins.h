#pragma once
// The MIDI-learn pins that every user-interface control module lists first:
// channel, MIDI in and out, controller number, program-change setting, NRPN.

#include <vector>

#include "modules/signal/ug_control.h"

class InterfaceObject;

enum ControlPins
{
    PN_CONTROL_CHANNEL = 0,
    PN_CONTROL_MIDI_IN,
    PN_CONTROL_MIDI_OUT,
    PN_CONTROL_CONTROLLER_ID,
    PN_CONTROL_IGNORE_PROGRAM_CHANGE,
    PN_CONTROL_NRPN,
    kControlPinCount
};

void ListControlPins(ug_control& control, std::vector<InterfaceObject*>& pins);
