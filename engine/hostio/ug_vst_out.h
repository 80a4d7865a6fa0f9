#pragma once
// Takes the graph's audio to the host's output buffers through a gain that
// can fade over 50 ms, and collects the MIDI that reaches it into a ring that
// the processor reads after each block.

#include <cstdint>
#include <vector>

#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/graph/ug_midi_device.h"

class ug_vst_in;

class ug_vst_out : public ug_midi_device
{
public:
    enum Pins { PN_MIDI_IN, PN_AUDIO };

    ug_vst_out();
    ug_base* Create() override { return new ug_vst_out(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

    // Audio pin k writes outputs[k]. Pins beyond the host's channels, or whose
    // channel is null, write to a scratch sample that nobody reads.
    void setOutputs(float** outputs, int count);
    void setStride(int stride) { stride_ = stride < 0 ? 0 : stride; }
    int AudioPinCount() const { return static_cast<int>(plugs_.size()) - 1; }

    void StartFadeOut(bool fadeOut);
    void SetBypass(bool /*bypass*/) {}
    void ChooseProcess();
    void SetInputModule(ug_vst_in* input) { inputModule_ = input; }

    MidiOutputBuffer* GetMidiOutputBuffer() { return &midiBuffer_; }
    float Gain() const { return gain_; }

    void process_mode_check(int blockPosition, int sampleFrames);
    void process_steady(int blockPosition, int sampleFrames);
    void process_ramp(int blockPosition, int sampleFrames);
    void process_silent(int blockPosition, int sampleFrames);

private:
    MidiOutputBuffer midiBuffer_;
    std::vector<float*> writePointers_;
    std::vector<uint8_t> toHost_;
    std::vector<const float*> blocks_;
    ug_vst_in* inputModule_ = nullptr;
    float gain_ = 1.0f;
    float targetGain_ = 1.0f;
    float gainStep_ = 0.0f;
    int stride_ = 1;
    float scratch_ = 0.0f;
    // A completed fade-out is reported once, not every block after.
    bool fadeReported_ = false;
};
