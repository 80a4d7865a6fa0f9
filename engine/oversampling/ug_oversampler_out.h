#pragma once
// Border module inside an oversampled container, facing its outputs: each
// inner audio signal is brought back to the outer rate (low-passed and
// decimated going up, zero-stuffed and low-passed going down) into the
// oversampler's outer blocks; values, MIDI and signal states leave re-timed
// to outer time. Once every output has settled the module sleeps. Audio thread.

#include "engine/oversampling/ug_oversampler_io.h"

class ug_oversampler_out : public ug_oversampler_io
{
public:
    static constexpr float kTolerance = 6.0e-8f;

    ug_oversampler_out(ug_oversampler* oversampler, int factor, int filterSetting, bool up)
        : ug_oversampler_io(oversampler, factor, filterSetting, up, !up)
    {
        tolerance_ = kTolerance;
    }

    ug_base* Create() override { return nullptr; }
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

    // Down direction, after the inner run: interpolates the inner samples
    // from innerPosition on into the outer piece of n samples at outerPosition.
    void SubProcessUpsample(int outerPosition, int n, int phase, int innerPosition);

private:
    template <int Sections>
    void process_decimate(int blockPosition, int sampleFrames);
    void process_decimate_fir(int blockPosition, int sampleFrames);
    template <class Filter, class Step>
    void Decimate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step);
    template <class Filter, class Step>
    void Interpolate(std::vector<Filter>& filters, int outerPosition, int n, int phase, int innerPosition, Step step);
    int ClampOuterIndex(int outerIndex, int phase, int sampleFrames) const;

};
