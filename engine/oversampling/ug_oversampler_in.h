#pragma once
// Border module inside an oversampled container, facing its inputs: each
// outer audio input is brought to the inner rate (zero-stuffed and low-passed
// going up, low-passed and decimated going down); values and MIDI re-timed by
// the oversampler leave on the matching inner pin. An input that has gone
// static settles, is announced static inside, and the module sleeps once
// every input is quiet. Audio thread.

#include "engine/oversampling/ug_oversampler_io.h"

class ug_oversampler_in : public ug_oversampler_io
{
public:
    // Private event type of values handed in by the oversampler; arg4 holds
    // the original type. Not a pin event, so no input variable is touched.
    static constexpr int32_t kRelayedEvent = UET_IO_FUNC;
    static constexpr float kTolerance = 1.0e-6f;

    ug_oversampler_in(ug_oversampler* oversampler, int factor, int filterSetting, bool up)
        : ug_oversampler_io(oversampler, factor, filterSetting, up, up)
    {
        tolerance_ = kTolerance;
    }

    ug_base* Create() override { return nullptr; }
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

    // Down direction, before the inner run: decimates the outer piece of n
    // samples at outerPosition (the outer clock at `phase` within a factor)
    // into the inner blocks from innerPosition on; returns the inner count.
    int SubProcessDownsample(int outerPosition, int n, int phase, int innerPosition);

private:
    template <int Sections>
    void process_interpolate(int blockPosition, int sampleFrames);
    void process_interpolate_fir(int blockPosition, int sampleFrames);
    template <class Filter, class Step>
    void Interpolate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step);
    template <class Filter, class Step>
    void Decimate(std::vector<Filter>& filters, int outerPosition, int n, int phase, int innerPosition, Step step);
    // Where the outer samples of this call are; keeps a run out of step inside the block.
    int ClampOuterIndex(int outerIndex, int phase, int sampleFrames) const;
    void AnnounceStatic(size_t pin, int64_t time);

};
