#pragma once
// The common part of the two border modules inside an oversampled container:
// the outer pins they relay, one filter per relayed pin, and where in the
// outer block the current inner run reads or writes.

#include <vector>

#include "engine/ug_base.h"
#include "engine/ug_oversampler_filter.h"
#include "engine/ug_oversampler_fir.h"

class ug_oversampler;

class ug_oversampler_io : public ug_base
{
public:
    static constexpr uint32_t kBorderFlag = 64;
    // Inputs past this magnitude (and NaN) enter the filters as silence.
    static constexpr float kMaxInput = 1.0e6f;

    // Filter settings above 10 choose the FIR filter, others the IIR cascade.
    ug_oversampler_io(ug_oversampler* oversampler, int factor, int filterSetting);

    // Border modules belong to their oversampler: voices share them.
    ug_base* Clone(CUGLookupList& /*lookup*/) override { return nullptr; }

    // Adds this module's pin for one outer pin of the oversampler; returns it.
    UPlug* AddBorderPin(UPlug* outerPin, EDirection direction);

    // The oversampler starts an outer piece at this position of the outer block.
    void BeginOuterPiece(int outerBlockPosition);

    UPlug* OuterPin(int index) const
    {
        return index >= 0 && index < static_cast<int>(outerPins_.size()) ? outerPins_[index] : nullptr;
    }

    int Open() override;

protected:
    static float Tame(float x) { return x >= -kMaxInput && x <= kMaxInput ? x : 0.0f; }
    // The module's own audio outputs start streaming.
    void AnnounceAudioStreaming(int64_t time);

    ug_oversampler* oversampler_;
    int factor_;
    std::vector<UPlug*> outerPins_;
    std::vector<OversamplerFilter> filters_;
    std::vector<OversamplerFir> firs_;
    int filterSetting_;
    bool fir_;
    int outerIndex_ = 0;
    int phase_ = 0;
};
