#pragma once
// Base of modules that take MIDI on one input and want it already filtered
// by MIDI channel. Does no audio work of its own and sleeps unless a derived
// module gives it a process function.

#include <cstdint>

#include "engine/graph/ug_base.h"

class ug_midi_device : public ug_base
{
public:
    enum Pins { PN_CHANNEL, PN_MIDI_IN };

    ug_midi_device() = default;
    ug_base* Create() override { return new ug_midi_device(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

    // One accepted MIDI message; empty here.
    virtual void OnMidiData(int /*size*/, unsigned char* /*data*/) {}

    void* midiInput_ = nullptr;
    // -1 for every channel, else 0 to 15.
    int16_t channel_ = -1;
};
