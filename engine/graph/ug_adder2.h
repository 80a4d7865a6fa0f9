#pragma once
// The summing module the engine places in front of an audio input that has
// more than one source. One input pin per source; constant inputs are folded
// into one static sum, and with nothing streaming the adder goes static and
// sleeps.

#include <vector>

#include "engine/graph/ug_base.h"

class ug_adder2 : public ug_base
{
public:
    enum Pins { PN_OUT, PN_IN };

    ug_adder2();
    ug_base* Create() override { return new ug_adder2(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    bool BypassPin(UPlug* source, UPlug* input) override;

    // Joins a source to the first free input, or to a new one.
    void NewConnection(UPlug* source);

    void process_static(int blockPosition, int sampleFrames);
    void process_sum(int blockPosition, int sampleFrames);
    void process_mixed(int blockPosition, int sampleFrames);

    float staticSum_ = 0.0f;
    int lastStreaming_ = -1;
    float* output_ = nullptr;
    // The first two of streamingInputs_, in the object: the common sums read
    // no other line.
    float* firstTwo_[2] = {};
    std::vector<float*> streamingInputs_;
    int inputCount_ = 0;

protected:
    // Collects the streaming inputs and sums the others; returns how many stream.
    int RebuildStreamingInputs();
    void CopyFirstTwo();

private:
    // The sums other than the common ones, kept apart so that those stay lean.
    [[gnu::noinline]] void SumAny(int blockPosition, int sampleFrames);
    [[gnu::noinline]] void AddMore(float* out, int blockPosition, int sampleFrames, int last);
};
