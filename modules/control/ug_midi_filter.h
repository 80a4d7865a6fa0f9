#pragma once
// "MIDI Filter": passes channel messages whose channel, note and velocity lie
// in chosen ranges; program changes may be blocked. System messages always pass.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_midi_device.h"

class ug_midi_filter : public ug_midi_device
{
public:
    enum Pins
    {
        PN_MIDI_IN = 0,
        PN_MIDI_OUT,
        PN_CHANNEL_LO,
        PN_CHANNEL_HI,
        PN_NOTE_LO,
        PN_NOTE_HI,
        PN_VELOCITY_LO,
        PN_VELOCITY_HI,
        PN_PROGRAM_CHANGE,
    };

    ug_midi_filter() = default;
    ~ug_midi_filter() override = default;

    ug_base* Create() override { return new ug_midi_filter(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void OnMidiData(int size, unsigned char* data) override;

    // Whether a message passes the ranges.
    bool Passes(int size, const unsigned char* data) const;

private:
    int16_t channelHi_ = 16;
    int16_t channelLo_ = 1;
    int16_t velocityHi_ = 127;
    int16_t velocityLo_ = 0;
    int16_t noteHi_ = 127;
    int16_t noteLo_ = 0;
    int16_t programChange_ = 1;
};
