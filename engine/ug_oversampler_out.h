#pragma once
// Border module inside an oversampled container, facing its outputs: each
// inner audio signal is low-passed and every factor-th sample written to the
// oversampler's outer block; values and MIDI leave re-timed to outer time.

#include "engine/ug_oversampler_io.h"

class ug_oversampler_out : public ug_oversampler_io
{
public:
    using ug_oversampler_io::ug_oversampler_io;

    ug_base* Create() override { return nullptr; }
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

private:
    void process_decimate(int blockPosition, int sampleFrames);
    void process_decimate_fir(int blockPosition, int sampleFrames);
    template <class Filter, class Step>
    void Decimate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step);
    void ClampOuterIndex(int sampleFrames);
    void AdvancePhase(int sampleFrames);

    std::vector<float> silence_;
};
