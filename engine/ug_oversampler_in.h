#pragma once
// Border module inside an oversampled container, facing its inputs: each
// outer audio input is zero-stuffed to the inner rate and low-passed; values
// and MIDI re-timed by the oversampler leave on the matching inner pin.

#include "engine/ug_oversampler_io.h"

class ug_oversampler_in : public ug_oversampler_io
{
public:
    // Private event type of values handed in by the oversampler; arg4 holds
    // the original type. Not a pin event, so no input variable is touched.
    static constexpr int32_t kRelayedEvent = UET_IO_FUNC;

    using ug_oversampler_io::ug_oversampler_io;

    ug_base* Create() override { return nullptr; }
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

private:
    void process_interpolate(int blockPosition, int sampleFrames);
    void process_interpolate_fir(int blockPosition, int sampleFrames);
    template <class Filter, class Step>
    void Interpolate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step);
    // Where the outer samples of this call are; keeps a run out of step inside the block.
    int ClampOuterIndex(int sampleFrames);
    void AdvancePhase(int sampleFrames);

    std::vector<float> silence_;
};
