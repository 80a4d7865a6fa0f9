#include "modules/signal/ug_filter_sv.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"

namespace
{
constexpr float kTwoPi = 6.2831855f;
constexpr float kMaxResonance = 0.9992f;
constexpr float kMinStoredFactor = 1e-5f;
constexpr float kSettleTolerance = 1e-6f;
// Inputs beyond 10 kV (or NaN) are held at the limit so that outputs stay finite.
constexpr float kInputLimit = 1000.0f;

inline float LimitInput(float x)
{
    return std::min(kInputLimit, std::max(-kInputLimit, x));
}

// The most voice copies run in one call.
constexpr int kMaxBatch = 16;

// The process routines that voice copies share, by number.
enum Routine
{
    R_BOTH_RUN = 0, // low-pass only, streaming pitch
    R_FIXED_LP = 1,
    R_FIXED_HP = 2,
    R_ALL = 3,
};

// Frequency factor of a pitch from the cutoff table, before the limit.
template <bool VoltPerKhz>
inline float FreqFactor(const float* cutoff, float sampleRate, float pitch)
{
    if (!VoltPerKhz && pitch >= 0.0f)
    {
        // Pitches of 10 V and above (infinity too) take the last entry.
        if (!(pitch < 1.0f))
            return cutoff[512];
        const float p = pitch * 512.0f;
        const int i = static_cast<int>(p);
        const float t0 = cutoff[i];
        return t0 + (cutoff[i + 1] - t0) * (p - static_cast<float>(i));
    }
    const float hz = VoltPerKhz ? pitch * 10000.0f : 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    const float factor = hz * kTwoPi / sampleRate;
    // A negative factor would make the recursion grow; NaN stops the filter instead.
    return factor > 0.0f ? factor : 0.0f;
}

// One filter's state and buffers, moved into locals for a run.
struct Lane
{
    const float* in;
    const float* pitch;
    const float* resonance;
    float* low;
    float* high;
    float* band;
    float* reject;
    float l;
    float b;
    float F;
    float q;
    float M;
};

// One sample of one filter.
template <int R, bool VoltPerKhz>
inline void Step(Lane& v, const float* cutoff, const float* limit, float sampleRate, int i)
{
    if constexpr (R == R_ALL)
    {
        v.q = ug_filter_sv::CalcQ(v.resonance[i]);
        v.M = limit[static_cast<int>(ug_filter_sv::Resonance(v.resonance[i]) * 512.0f)];
    }
    if constexpr (R == R_BOTH_RUN || R == R_ALL)
    {
        const float factor = FreqFactor<VoltPerKhz>(cutoff, sampleRate, v.pitch[i]);
        v.F = factor < v.M ? factor : v.M;
    }
    v.l += v.F * v.b;
    const float h = LimitInput(v.in[i]) - v.q * v.b - v.l;
    v.b += v.F * h;
    if constexpr (R == R_FIXED_HP)
    {
        v.high[i] = h;
    }
    else
    {
        v.low[i] = v.l;
        if constexpr (R == R_ALL)
        {
            v.high[i] = h;
            v.band[i] = v.b;
            v.reject[i] = h + v.l;
        }
    }
}
} // namespace

void ug_filter_sv::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"",
                                       &signal_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Controls the Filter's 'Cutoff'. 1 Volt per Octave", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Resonance", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Emphasises the Cutoff frequency", &resonance_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Low Pass", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &low_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Hi Pass", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &high_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Band Pass", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &band_ptr_));
    pins.push_back(
        new InterfaceObject(nullptr, L"Band Reject", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &reject_ptr_));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0",
                                       L"1 Volt/Octave, 1 Volt/kHz ", IO_MINIMISED | IO_POLYPHONIC_ACTIVE,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

float ug_filter_sv::CutoffEntry(int i, float sampleRate)
{
    const float hz = 440.0f * std::exp2f(static_cast<float>(i) * 10.0f * 0.001953125f - 5.0f);
    return std::min(0.5f * sampleRate, hz) * kTwoPi / sampleRate;
}

float ug_filter_sv::LimitEntry(int i)
{
    const float x = static_cast<float>(i);
    return (0.009f * x + 2.5e-5f * x * x + 7.8f) * 0.1f;
}

float ug_filter_sv::Resonance(float resonanceSample)
{
    // Written so that NaN gives 0.
    return std::min(kMaxResonance, std::max(0.0f, resonanceSample));
}

float ug_filter_sv::CalcMSF(float resonanceSample) const
{
    const int i = static_cast<int>(Resonance(resonanceSample) * 512.0f);
    return limit_ ? limit_[i] : LimitEntry(i);
}

template <bool VoltPerKhz>
float ug_filter_sv::CalcFreqFactor(float pitch) const
{
    if (!VoltPerKhz && pitch >= 0.0f)
    {
        // Pitches of 10 V and above (infinity too) take the last entry.
        if (!(pitch < 1.0f))
            return CutoffAt(512);
        const float p = pitch * 512.0f;
        const int i = static_cast<int>(p);
        const float t0 = CutoffAt(i);
        return t0 + (CutoffAt(i + 1) - t0) * (p - static_cast<float>(i));
    }
    const float hz = VoltPerKhz ? pitch * 10000.0f : 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    const float factor = hz * kTwoPi / SampleRate();
    // A negative factor would make the recursion grow; NaN stops the filter instead.
    return factor > 0.0f ? factor : 0.0f;
}

int ug_filter_sv::Open()
{
    RunDelayed<&ug_filter_sv::OnFirstSample>(sampleClock_);

    const float sampleRate = SampleRate();
    CreateSharedLookup2(L"ug_filter_sv Cutoff", cutoffTable_, static_cast<int>(sampleRate), kTableSize, true,
                        SLS_GLOBAL);
    if (cutoffTable_ && cutoffTable_->GetSize() < kTableSize)
        cutoffTable_ = nullptr;
    if (cutoffTable_)
    {
        ULookup* table = cutoffTable_;
        table->FillOnce([table, sampleRate] {
            for (int i = 0; i < kTableSize; ++i)
                table->SetValue(i, CutoffEntry(i, sampleRate));
        });
        cutoff_ = table->GetBlock();
    }
    else
    {
        ownCutoff_.resize(kTableSize);
        for (int i = 0; i < kTableSize; ++i)
            ownCutoff_[static_cast<size_t>(i)] = CutoffEntry(i, sampleRate);
        cutoff_ = ownCutoff_.data();
    }
    CreateSharedLookup2(L"ug_filter_sv Resonance Limit", limitTable_, -1, kTableSize, true, SLS_GLOBAL);
    if (limitTable_ && limitTable_->GetSize() < kTableSize)
        limitTable_ = nullptr;
    if (limitTable_)
    {
        ULookup* table = limitTable_;
        table->FillOnce([table] {
            for (int i = 0; i < kTableSize; ++i)
                table->SetValue(i, LimitEntry(i));
        });
        limit_ = table->GetBlock();
    }
    else
    {
        ownLimit_.resize(kTableSize);
        for (int i = 0; i < kTableSize; ++i)
            ownLimit_[static_cast<size_t>(i)] = LimitEntry(i);
        limit_ = ownLimit_.data();
    }

    const int result = ug_base::Open();
    SetProcessFunction(&ug_filter_sv::process_all);

    lowPassOnly_ = false;
    highPassOnly_ = false;
    if (!plugs_[PN_BAND_PASS]->InUse() && !plugs_[PN_BAND_REJECT]->InUse())
    {
        lowPassOnly_ = !plugs_[PN_HI_PASS]->InUse();
        highPassOnly_ = !plugs_[PN_LOW_PASS]->InUse();
    }
    return result;
}

void ug_filter_sv::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    const int index = pin->index_;
    if ((index == PN_PITCH || index == PN_RESONANCE || index == PN_FREQ_SCALE) && state != ST_STREAMING)
    {
        const float resonance = plugs_[PN_RESONANCE]->getValue();
        q_ = CalcQ(resonance);
        M_ = CalcMSF(resonance);
        const float pitch = plugs_[PN_PITCH]->getValue();
        float factor = 0.0f;
        if (freqScale_ == FS_VOLT_PER_KHZ)
            factor = std::max(kMinStoredFactor, CalcFreqFactor<true>(pitch));
        else if (pitch >= 0.0f)
            factor = CalcFreqFactor<false>(pitch);
        else
            factor = std::max(kMinStoredFactor, CalcFreqFactor<false>(pitch));
        F_ = std::min(M_, factor);
    }
    if (index == PN_SIGNAL)
        SetOutputState(sampleClock_, ST_STREAMING);

    ChooseProcessFunction();

    if (checkIdle_)
    {
        checkIdle_ = false;
        OverflowCheck();
    }
}

void ug_filter_sv::ChooseProcessFunction()
{
    const bool resonanceStreaming = plugs_[PN_RESONANCE]->state_ == ST_STREAMING;
    const bool pitchStreaming = plugs_[PN_PITCH]->state_ == ST_STREAMING;
    const bool kHz = freqScale_ == FS_VOLT_PER_KHZ;
    if (!resonanceStreaming && lowPassOnly_)
    {
        if (pitchStreaming && kHz)
            SetProcessFunction(&ug_filter_sv::process_both_run_khz);
        else if (pitchStreaming)
            SetProcessFunction(&ug_filter_sv::process_both_run, &RunRow<R_BOTH_RUN>);
        else
            SetProcessFunction(&ug_filter_sv::process_fixed_lp, &RunRow<R_FIXED_LP>);
    }
    else if (!resonanceStreaming && highPassOnly_ && !pitchStreaming)
    {
        SetProcessFunction(&ug_filter_sv::process_fixed_hp, &RunRow<R_FIXED_HP>);
    }
    else if (kHz)
    {
        SetProcessFunction(&ug_filter_sv::process_all_khz);
    }
    else
    {
        SetProcessFunction(&ug_filter_sv::process_all, &RunRow<R_ALL>);
    }
}

void ug_filter_sv::SetOutputState(int64_t time, state_type state)
{
    for (int pin = PN_LOW_PASS; pin <= PN_BAND_REJECT; ++pin)
        plugs_[pin]->TransmitState(time, state);
}

bool ug_filter_sv::HasSettled(float x) const
{
    if (std::fabs(b_) + std::fabs(l_ - x) < kSettleTolerance)
        return true;
    // Stuck: one more step with this input changes neither state.
    const float l = l_ + F_ * b_;
    const float h = x - q_ * b_ - l;
    return l == l_ && F_ * h + b_ == b_;
}

void ug_filter_sv::OverflowCheck()
{
    if (!std::isfinite(l_))
        l_ = 0.0f;
    if (!std::isfinite(b_))
        b_ = 0.0f;
    if (checkIdle_)
        return;

    if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
    {
        const float x = LimitInput(plugs_[PN_SIGNAL]->getValue());
        if (HasSettled(x))
        {
            l_ = x;
            b_ = 0.0f;
            checkIdle_ = true;
            ResetStaticOutput();
            SetProcessFunction(&ug_filter_sv::process_static);
            return;
        }
    }
    RunDelayed<&ug_filter_sv::OverflowCheck>(sampleClock_ + std::max<int64_t>(1, static_cast<int64_t>(SampleRate())));
}

void ug_filter_sv::OnFirstSample()
{
    // A static input starts settled instead of rising from 0.
    if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
        l_ = LimitInput(plugs_[PN_SIGNAL]->getValue());
}

template <bool VoltPerKhz>
void ug_filter_sv::ProcessAll(int start, int count)
{
    ug_filter_sv* self = this;
    if constexpr (VoltPerKhz)
    {
        Lane v{signal_ptr_ + start, pitch_ptr_ + start, resonance_ptr_ + start, low_ptr_ + start, high_ptr_ + start,
               band_ptr_ + start, reject_ptr_ + start, l_, b_, F_, q_, M_};
        const float* cutoff = cutoff_;
        const float* limit = limit_;
        const float sampleRate = SampleRate();
        for (int i = 0; i < count; ++i)
            Step<R_ALL, true>(v, cutoff, limit, sampleRate, i);
        l_ = v.l;
        b_ = v.b;
        F_ = v.F;
        q_ = v.q;
        M_ = v.M;
    }
    else
    {
        ProcessBatch<R_ALL>(&self, 1, start, count);
    }
}

template <bool VoltPerKhz>
void ug_filter_sv::ProcessBothRun(int start, int count)
{
    ug_filter_sv* self = this;
    if constexpr (VoltPerKhz)
    {
        Lane v{signal_ptr_ + start, pitch_ptr_ + start, nullptr, low_ptr_ + start, nullptr, nullptr, nullptr,
               l_, b_, F_, q_, M_};
        const float* cutoff = cutoff_;
        const float sampleRate = SampleRate();
        for (int i = 0; i < count; ++i)
            Step<R_BOTH_RUN, true>(v, cutoff, nullptr, sampleRate, i);
        l_ = v.l;
        b_ = v.b;
        F_ = v.F;
    }
    else
    {
        ProcessBatch<R_BOTH_RUN>(&self, 1, start, count);
    }
}

template <bool LowPass>
void ug_filter_sv::ProcessFixed(int start, int count)
{
    ug_filter_sv* self = this;
    ProcessBatch<LowPass ? R_FIXED_LP : R_FIXED_HP>(&self, 1, start, count);
}

template <int R>
void ug_filter_sv::ProcessBatch(ug_filter_sv* const* batch, int count, int start, int frames)
{
    auto load = [start](const ug_filter_sv* f) {
        auto at = [start](float* p) { return p ? p + start : nullptr; };
        return Lane{at(f->signal_ptr_), at(f->pitch_ptr_), at(f->resonance_ptr_), at(f->low_ptr_), at(f->high_ptr_),
                    at(f->band_ptr_), at(f->reject_ptr_), f->l_, f->b_, f->F_, f->q_, f->M_};
    };
    auto store = [](ug_filter_sv* f, const Lane& v) {
        f->l_ = v.l;
        f->b_ = v.b;
        f->F_ = v.F;
        f->q_ = v.q;
        f->M_ = v.M;
    };
    const float* cutoff = batch[0]->cutoff_;
    const float* limit = batch[0]->limit_;
    const float sampleRate = batch[0]->SampleRate();

    // Four voices at a time: their recursions are independent, so each
    // one's latency hides behind the others'.
    int k = 0;
    for (; k + 4 <= count; k += 4)
    {
        Lane v0 = load(batch[k]);
        Lane v1 = load(batch[k + 1]);
        Lane v2 = load(batch[k + 2]);
        Lane v3 = load(batch[k + 3]);
        for (int i = 0; i < frames; ++i)
        {
            Step<R, false>(v0, cutoff, limit, sampleRate, i);
            Step<R, false>(v1, cutoff, limit, sampleRate, i);
            Step<R, false>(v2, cutoff, limit, sampleRate, i);
            Step<R, false>(v3, cutoff, limit, sampleRate, i);
        }
        store(batch[k], v0);
        store(batch[k + 1], v1);
        store(batch[k + 2], v2);
        store(batch[k + 3], v3);
    }
    if (k + 2 <= count)
    {
        Lane v0 = load(batch[k]);
        Lane v1 = load(batch[k + 1]);
        for (int i = 0; i < frames; ++i)
        {
            Step<R, false>(v0, cutoff, limit, sampleRate, i);
            Step<R, false>(v1, cutoff, limit, sampleRate, i);
        }
        store(batch[k], v0);
        store(batch[k + 1], v1);
        k += 2;
    }
    if (k < count)
    {
        Lane v0 = load(batch[k]);
        for (int i = 0; i < frames; ++i)
            Step<R, false>(v0, cutoff, limit, sampleRate, i);
        store(batch[k], v0);
    }
}

template <int R>
EventProcessor* ug_filter_sv::RunRow(EventProcessor* first, int blockPosition, int sampleFrames)
{
    auto* lead = static_cast<ug_filter_sv*>(first);
    const copies_func_ptr self = &RunRow<R>;
    const int64_t clock = lead->sampleClock_;
    const int64_t end = clock + sampleFrames;
    // The copies function is the routine's own: a module that has it is a filter.
    auto joins = [&](EventProcessor* node) -> ug_filter_sv* {
        if (!node->JoinsRow(self, clock, end))
            return nullptr;
        auto* filter = static_cast<ug_filter_sv*>(node);
        return filter->cutoff_ == lead->cutoff_ && filter->limit_ == lead->limit_ ? filter : nullptr;
    };
    // Running filters changes no link.
    return RunInBatches<kMaxBatch>(lead, end, joins, [=](ug_filter_sv* const* batch, int count) {
        ProcessBatch<R>(batch, count, blockPosition, sampleFrames);
    });
}

void ug_filter_sv::process_static(int start, int count)
{
    std::fill(low_ptr_ + start, low_ptr_ + start + count, l_);
    std::fill(reject_ptr_ + start, reject_ptr_ + start + count, l_);
    std::fill(high_ptr_ + start, high_ptr_ + start + count, 0.0f);
    std::fill(band_ptr_ + start, band_ptr_ + start + count, 0.0f);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        SetOutputState(sampleClock_ + count, ST_STOPPED);
    }
}

template float ug_filter_sv::CalcFreqFactor<false>(float) const;
template float ug_filter_sv::CalcFreqFactor<true>(float) const;

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"SV Filter", 412, 144, nullptr, &UnitClassOf<ug_filter_sv>::value, 256));
}
