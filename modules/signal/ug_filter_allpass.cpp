#include "modules/signal/ug_filter_allpass.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"

namespace
{
constexpr float kTwoPi = 6.2831855f;
constexpr double kPi = 3.141592653589793;
constexpr double kSettleTolerance = 1.5e-6;
// Inputs beyond 10 kV (or NaN) are held at the limit so that outputs stay finite.
constexpr float kInputLimit = 1000.0f;

inline float LimitInput(float x)
{
    return std::min(kInputLimit, std::max(-kInputLimit, x));
}
} // namespace

void ug_filter_allpass::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"",
                                       &signal_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Controls the Filter's 'Cutoff'. 1 Volt per Octave", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Resonance", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Controls the rollover frequency band width", &resonance_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0",
                                       L"1 Volt/Octave, 1 Volt/kHz ", IO_MINIMISED | IO_POLYPHONIC_ACTIVE,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

float ug_filter_allpass::TableEntryA(int i)
{
    return expf(static_cast<float>(i) * -kTwoPi * 0.001953125f);
}

float ug_filter_allpass::TableEntryB(int i)
{
    return 2.0f * cosf(static_cast<float>(i) * kTwoPi * 0.001953125f);
}

float ug_filter_allpass::Width(float resonanceSample)
{
    // Written so that NaN gives the narrowest band.
    return std::min(4.0f, std::max(0.5f, resonanceSample * 1.5f + 0.5f));
}

template <bool VoltPerKhz>
float ug_filter_allpass::NormalisedFrequency(float pitch) const
{
    const float hz = VoltPerKhz ? pitch * 10000.0f : 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    const float fn = hz / SampleRate();
    return fn > kMinNormalisedFrequency ? std::min(0.5f, fn) : kMinNormalisedFrequency;
}

float ug_filter_allpass::Interpolate(const ULookup* table, float t) const
{
    const float* values = table->GetBlock();
    const float position = t * 512.0f;
    const int i = static_cast<int>(position);
    return values[i] + (values[i + 1] - values[i]) * (position - static_cast<float>(i));
}

template <bool VoltPerKhz>
void ug_filter_allpass::CalcCoefficients(float pitch, float resonance)
{
    const float R = Width(resonance);
    const float fn = NormalisedFrequency<VoltPerKhz>(pitch);
    if (pitch < 0.0f || !tableA_ || !tableB_)
    {
        const double damping = kPi * static_cast<double>(fn) * static_cast<double>(R);
        a1_ = static_cast<float>(2.0 * std::cos(2.0 * kPi * fn) * std::exp(-damping));
        b_ = static_cast<float>(std::exp(-2.0 * damping));
        return;
    }
    // Both table positions lie in 0 ... 1, so the interpolation stays inside.
    const float u = std::min(1.0f, R * fn);
    a1_ = Interpolate(tableA_, u * 0.5f) * Interpolate(tableB_, fn);
    b_ = Interpolate(tableA_, u);
}

int ug_filter_allpass::Open()
{
    CreateSharedLookup2(L"ug_filter_allpass A", tableA_, -1, kTableSize, true, SLS_GLOBAL);
    CreateSharedLookup2(L"ug_filter_allpass B", tableB_, -1, kTableSize, true, SLS_GLOBAL);
    if (tableA_ && tableA_->GetSize() < kTableSize)
        tableA_ = nullptr;
    if (tableB_ && tableB_->GetSize() < kTableSize)
        tableB_ = nullptr;
    if (tableA_)
    {
        ULookup* table = tableA_;
        table->FillOnce([table] {
            for (int i = 0; i < kTableSize; ++i)
                table->SetValue(i, TableEntryA(i));
        });
    }
    if (tableB_)
    {
        ULookup* table = tableB_;
        table->FillOnce([table] {
            for (int i = 0; i < kTableSize; ++i)
                table->SetValue(i, TableEntryB(i));
        });
    }

    const int result = ug_base::Open();
    SetProcessFunction(&ug_filter_allpass::process_all);
    w1_ = w2_ = 0.0;
    return result;
}

void ug_filter_allpass::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    const int index = pin->index_;
    if (index == PN_PITCH || index == PN_RESONANCE || index == PN_FREQ_SCALE)
    {
        const float pitch = plugs_[PN_PITCH]->getValue();
        const float resonance = plugs_[PN_RESONANCE]->getValue();
        if (freqScale_ == FS_VOLT_PER_KHZ)
            CalcCoefficients<true>(pitch, resonance);
        else
            CalcCoefficients<false>(pitch, resonance);
    }
    if (index == PN_SIGNAL)
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STREAMING);

    ChooseProcessFunction();

    if (checkIdle_)
    {
        checkIdle_ = false;
        OverflowCheck();
    }
}

void ug_filter_allpass::ChooseProcessFunction()
{
    if (plugs_[PN_PITCH]->state_ == ST_STREAMING || plugs_[PN_RESONANCE]->state_ == ST_STREAMING)
    {
        SetProcessFunction(freqScale_ == FS_VOLT_PER_KHZ ? &ug_filter_allpass::process_all_khz
                                                         : &ug_filter_allpass::process_all);
    }
    else
    {
        SetProcessFunction(&ug_filter_allpass::process_fixed_freq);
    }
}

void ug_filter_allpass::OverflowCheck()
{
    if (!std::isfinite(w1_))
        w1_ = 0.0;
    if (!std::isfinite(w2_))
        w2_ = 0.0;
    if (checkIdle_)
        return;

    if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
    {
        const double x = LimitInput(plugs_[PN_SIGNAL]->getValue());
        const bool settled = std::fabs(w1_ - w2_) < kSettleTolerance || a1_ * w1_ + x - w2_ * b_ == w1_;
        if (settled)
        {
            w1_ = w2_ = x;
            checkIdle_ = true;
            ResetStaticOutput();
            SetProcessFunction(&ug_filter_allpass::process_static);
            return;
        }
    }
    RunDelayed<&ug_filter_allpass::OverflowCheck>(sampleClock_ +
                                                  std::max<int64_t>(1, static_cast<int64_t>(SampleRate())));
}

template <bool VoltPerKhz>
void ug_filter_allpass::ProcessAll(int start, int count)
{
    const float* in = signal_ptr_ + start;
    const float* pitch = pitch_ptr_ + start;
    const float* resonance = resonance_ptr_ + start;
    float* out = output_ptr_ + start;
    double w1 = w1_;
    double w2 = w2_;
    for (int i = 0; i < count; ++i)
    {
        CalcCoefficients<VoltPerKhz>(pitch[i], resonance[i]);
        const double t = a1_ * w1;
        const double w = LimitInput(in[i]) + t - b_ * w2;
        out[i] = static_cast<float>(b_ * w + w2 - t);
        w2 = w1;
        w1 = w;
    }
    w1_ = w1;
    w2_ = w2;
}

void ug_filter_allpass::process_fixed_freq(int start, int count)
{
    const float* in = signal_ptr_ + start;
    float* out = output_ptr_ + start;
    const double a1 = a1_;
    const double b = b_;
    double w1 = w1_;
    double w2 = w2_;
    for (int i = 0; i < count; ++i)
    {
        const double t = a1 * w1;
        const double w = LimitInput(in[i]) + t - b * w2;
        out[i] = static_cast<float>(b * w + w2 - t);
        w2 = w1;
        w1 = w;
    }
    w1_ = w1;
    w2_ = w2;
}

void ug_filter_allpass::process_static(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, static_cast<float>(w1_));
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_ + count, ST_STOPPED);
    }
}

template float ug_filter_allpass::NormalisedFrequency<false>(float) const;
template float ug_filter_allpass::NormalisedFrequency<true>(float) const;
template void ug_filter_allpass::CalcCoefficients<false>(float, float);
template void ug_filter_allpass::CalcCoefficients<true>(float, float);

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"All Pass", 467, 301, nullptr, &UnitClassOf<ug_filter_allpass>::value, 256));
}
