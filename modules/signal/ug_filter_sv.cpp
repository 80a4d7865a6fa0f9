#include "modules/signal/ug_filter_sv.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/LookupTable.h"

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
    return limitTable_ ? limitTable_->GetBlock()[i] : LimitEntry(i);
}

float ug_filter_sv::CutoffAt(int i) const
{
    return cutoff_ ? cutoff_[i] : CutoffEntry(i, SampleRate());
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
        if (pitchStreaming)
            SetProcessFunction(kHz ? &ug_filter_sv::process_both_run_khz : &ug_filter_sv::process_both_run);
        else
            SetProcessFunction(&ug_filter_sv::process_fixed_lp);
    }
    else if (!resonanceStreaming && highPassOnly_ && !pitchStreaming)
    {
        SetProcessFunction(&ug_filter_sv::process_fixed_hp);
    }
    else
    {
        SetProcessFunction(kHz ? &ug_filter_sv::process_all_khz : &ug_filter_sv::process_all);
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
    const float* in = signal_ptr_ + start;
    const float* pitch = pitch_ptr_ + start;
    const float* resonance = resonance_ptr_ + start;
    float* low = low_ptr_ + start;
    float* high = high_ptr_ + start;
    float* band = band_ptr_ + start;
    float* reject = reject_ptr_ + start;
    float l = l_;
    float b = b_;
    float F = F_;
    float q = q_;
    float M = M_;
    for (int i = 0; i < count; ++i)
    {
        q = CalcQ(resonance[i]);
        M = CalcMSF(resonance[i]);
        const float factor = CalcFreqFactor<VoltPerKhz>(pitch[i]);
        F = factor < M ? factor : M;
        l += F * b;
        const float h = LimitInput(in[i]) - q * b - l;
        b += F * h;
        low[i] = l;
        high[i] = h;
        band[i] = b;
        reject[i] = h + l;
    }
    l_ = l;
    b_ = b;
    F_ = F;
    q_ = q;
    M_ = M;
}

template <bool VoltPerKhz>
void ug_filter_sv::ProcessBothRun(int start, int count)
{
    const float* in = signal_ptr_ + start;
    const float* pitch = pitch_ptr_ + start;
    float* low = low_ptr_ + start;
    const float q = q_;
    const float M = M_;
    float l = l_;
    float b = b_;
    float F = F_;
    for (int i = 0; i < count; ++i)
    {
        const float factor = CalcFreqFactor<VoltPerKhz>(pitch[i]);
        F = factor < M ? factor : M;
        l += F * b;
        const float h = LimitInput(in[i]) - q * b - l;
        b += F * h;
        low[i] = l;
    }
    l_ = l;
    b_ = b;
    F_ = F;
}

template <bool LowPass>
void ug_filter_sv::ProcessFixed(int start, int count)
{
    const float* in = signal_ptr_ + start;
    float* out = (LowPass ? low_ptr_ : high_ptr_) + start;
    const float F = F_;
    const float q = q_;
    float l = l_;
    float b = b_;
    for (int i = 0; i < count; ++i)
    {
        l += F * b;
        const float h = LimitInput(in[i]) - q * b - l;
        b += F * h;
        out[i] = LowPass ? l : h;
    }
    l_ = l;
    b_ = b;
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
