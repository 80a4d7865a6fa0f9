#pragma once
// One input per module output bound to a patch parameter or a host control:
// a value arriving there is written into the parameter (and so reaches the
// editor and the MIDI automation output).

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class dsp_patch_parameter_base;

class ug_patch_param_watcher : public ug_base
{
public:
    enum Pins { PN_MIDI_IN, PN_MIDI_OUT, PN_VIRTUAL_VOICE_ID, kFixedPinCount };
    // An input fed by a polyphonic module: its values are per voice.
    static constexpr uint32_t kPerVoicePin = 0x400;

    ug_patch_param_watcher();
    ug_base* Create() override { return new ug_patch_param_watcher(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    ug_base* Clone(CUGLookupList& lookup) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // A module output pin bound to a parameter (its handle) or a host control.
    // Every pin gets its own entry, null when the id is unknown, so entries
    // stay in step with the inputs.
    void CreatePlug(int id, UPlug* modulePin);
    const std::vector<dsp_patch_parameter_base*>& Parameters() const { return parameters_; }

private:
    void Update(int position);

    std::vector<dsp_patch_parameter_base*> parameters_;
    int32_t virtualVoiceId_ = 0;
    int64_t midiOutValue_ = 0;
};
