#pragma once
// "KV MIDICVRedirect": the companion that "Midi to CV" places in its
// container. Takes the patch's MIDI, filtered by channel, and hands it to the
// container's patch manager, which allocates voices and sets their controls.

#include <vector>

#include "engine/parameters/IDspPatchManager.h"
#include "engine/graph/ug_midi_device.h"

class ug_midi_to_cv_redirect : public ug_midi_device
{
public:
    enum Pins
    {
        PN_MIDI_IN = 0,
        PN_CHANNEL = 1,
        PN_MIDI_OUT = 2,
    };

    ug_midi_to_cv_redirect() = default;
    ~ug_midi_to_cv_redirect() override = default;

    ug_base* Create() override { return new ug_midi_to_cv_redirect(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void OnMidiData(int size, unsigned char* data) override;

    const VoiceControlState& VoiceState() const { return voiceControlState_; }

private:
    VoiceControlState voiceControlState_;
};
