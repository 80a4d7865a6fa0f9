#pragma once
// One output per module input bound to a patch parameter or a host control:
// the parameter transmits its value on the output, which feeds the module
// pin. Outputs that would loop back through a parameter watcher move to the
// container's secondary setter and deliver one block later.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_patch_param_setter : public ug_base
{
public:
    enum Pins { PN_MIDI_IN, PN_MIDI_OUT, kFixedPinCount };

    ug_patch_param_setter();
    ug_base* Create() override { return new ug_patch_param_setter(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    ug_base* Clone(CUGLookupList& lookup) override;
    // A value sent to one of our own audio outputs (a parameter feeding an
    // audio input) is written into that output's block from its time on.
    void HandleEvent(KorvaneEvent* event) override;

    // A module input pin bound to a parameter (its handle) or a host control.
    void CreatePlug(int id, UPlug* modulePin);
    // Sends a value on one output, only to the modules of one voice.
    void setPolyPin(int64_t time, int outputIndex, int voiceId, int datatype, int size, const void* data);
    // A per-voice audio output of this setter for one more voice: a new output
    // carrying the same parameter, so that the voice reads a block of its own.
    UPlug* VoiceOutputFor(UPlug* output);
    // Hands the output to the container's secondary setter; false when it is not one of ours.
    bool TransferConnectiontoSecondary(UPlug* output);
    void AdoptOutput(int id, UPlug* output);
    void HookupSnapshotClients(ug_container* container);

    const std::vector<int32_t>& ParameterIds() const { return parameterIds_; }
    const std::vector<UPlug*>& SnapshotClients() const { return snapshotClients_; }

private:
    void Renumber();
    // Keeps the audio outputs filled with their constants for one more block.
    void process_audio_runout(int start, int count);
    // True when the output carries a value per voice.
    bool Register(int id, UPlug* output);

    std::vector<int32_t> parameterIds_;
    std::vector<UPlug*> snapshotClients_;
    int64_t midiOutValue_ = 0;
};
