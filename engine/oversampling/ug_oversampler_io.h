#pragma once
// The common part of the two border modules inside an oversampled container:
// the outer pins they relay, one filter per relayed pin, where in the outer
// block the current inner run reads or writes, and the settling of pins
// whose signal has gone static, after which a border module can sleep.
// Audio thread, except construction and AddBorderPin (graph building).

#include <vector>

#include "engine/graph/ug_base.h"
#include "engine/oversampling/ug_oversampler_filter.h"
#include "engine/oversampling/ug_oversampler_fir.h"

class ug_oversampler;

class ug_oversampler_io : public ug_base
{
public:
    static constexpr uint32_t kBorderFlag = 64;
    // Inputs past this magnitude (and NaN) enter the filters as silence.
    static constexpr float kMaxInput = 1.0e6f;
    // Settle counter values other than a count of samples still to check.
    static constexpr int kStreaming = -1;
    static constexpr int kJustStopped = -2;

    // Filter settings above 10 choose the FIR filter, others the IIR cascade.
    // `up`: the inner rate is the outer rate times the factor; `interpolates`:
    // this side makes factor samples of each one it takes in.
    ug_oversampler_io(ug_oversampler* oversampler, int factor, int filterSetting, bool up, bool interpolates);

    // Border modules belong to their oversampler: a copy of the oversampler
    // makes its own.
    ug_base* Clone(CUGLookupList& /*lookup*/) override { return nullptr; }

    // Adds this module's pin for one outer pin of the oversampler; returns it.
    UPlug* AddBorderPin(UPlug* outerPin, EDirection direction);

    // The oversampler starts an outer piece at this position of the outer
    // block; the inner run starts at `innerClock`.
    void BeginOuterPiece(int outerBlockPosition, int64_t innerClock);
    // Counters still settling start again: the signal may have moved while
    // the oversampler was suspended.
    void OnOversamplerResume();
    // Forgets the signal that passed: the filters start from silence.
    void ResetFilters();

    UPlug* OuterPin(int index) const
    {
        return index >= 0 && index < static_cast<int>(outerPins_.size()) ? outerPins_[index] : nullptr;
    }
    // The FIR filter of one relayed pin (FIR mode only).
    const OversamplerFir* Fir(int index) const
    {
        return fir_ && index >= 0 && index < static_cast<int>(firs_.size()) ? &firs_[index] : nullptr;
    }
    int SettleCounter(int index) const
    {
        return index >= 0 && index < static_cast<int>(settle_.size()) ? settle_[index] : 0;
    }

    int Open() override;

protected:
    static float Tame(float x) { return x >= -kMaxInput && x <= kMaxInput ? x : 0.0f; }
    // The module's own audio outputs start streaming.
    void AnnounceAudioStreaming(int64_t time);
    bool Interpolates() const { return interpolates_; }
    int BlockSizeOf() const { return blockSize_; }
    // Where the outer block position and the phase within it stand for the
    // inner time `innerTime` of the current piece (up direction).
    void LocateOuter(int64_t innerTime, int& outerIndex, int& phase) const;
    // What the filter of `pin` gives in the end for a constant input of 1,
    // at this phase (interpolating side) or at every sample (decimating side).
    float SteadyGain(int phase) const
    {
        return steadyGains_[static_cast<size_t>(phase) % steadyGains_.size()];
    }
    // One output sample of a pin whose input is static: close to what the
    // filter settles to, it becomes the exact value and the count of samples
    // still to check drops; outside, the count starts again.
    float Settle(size_t pin, float y, float exact, int phase)
    {
        int& counter = settle_[pin];
        const float expected = exact * SteadyGain(phase);
        const float magnitude = exact < 0.0f ? -exact : exact;
        const float difference = y > expected ? y - expected : expected - y;
        if (difference <= tolerance_ + kRelativeTolerance * magnitude)
        {
            --counter;
            return exact;
        }
        counter = blockSize_;
        return y;
    }
    // A pin that stopped streaming begins to settle with this run.
    bool BeginSettling(size_t pin)
    {
        if (settle_[pin] == kJustStopped)
            settle_[pin] = blockSize_;
        return settle_[pin] > 0;
    }
    // For one relayed pin: the block this module writes (the outer pin's when
    // `writesOuter`, else its own) and the samples it reads from the other
    // side, silence where that has none. False for a pin that carries no
    // audio or whose input is static and settled: its block stays as it is.
    bool RelayBlocks(size_t pin, bool writesOuter, USampBlock*& target, const float*& in) const;
    // After a pin's run: a count that ran out makes the pin static, its
    // exact value written over the whole block; true when that happened.
    bool FinishSettling(size_t pin, bool settling, float* block, float exact);
    bool AllQuiet() const;
    // The coefficient tables every oversampler of the engine with the same
    // tap count and factor shares; left null (own tables) when none can be had.
    void ShareFirTables();

    static constexpr float kRelativeTolerance = 1.0e-5f;

    ug_oversampler* oversampler_;
    int factor_;
    bool up_;
    bool interpolates_;
    std::vector<UPlug*> outerPins_;
    std::vector<OversamplerFilter> filters_;
    std::vector<OversamplerFir> firs_;
    // Per pin: kStreaming, kJustStopped, samples still to check, or 0 (static).
    std::vector<int> settle_;
    // What each phase of the filter settles to for an input of 1.
    std::vector<float> steadyGains_;
    int filterSetting_;
    bool fir_;
    // Length of the IIR cascade the setting asks for.
    int sections_;
    float tolerance_ = 1.0e-6f;
    int blockSize_ = 1;
    int outerPosition_ = 0;
    int64_t innerStart_ = 0;
    const float* sharedPlain_ = nullptr;
    const float* sharedPolyphase_ = nullptr;
    // A block of zeros, read where a relayed pin has no block.
    std::vector<float> silence_;
};

