#include "modules/signal/ug_filter_1pole.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"

namespace
{
constexpr double kTwoPi = 6.283185307179586;
constexpr float kSettleTolerance = 1e-6f;
constexpr float kMaxFrequencyRatio = 0.495f;
} // namespace

ug_filter_1pole::ug_filter_1pole() : ug_filter_1pole(true)
{
}

ug_filter_1pole::ug_filter_1pole(bool lowPass) : lowPass_(lowPass)
{
}

void ug_filter_1pole::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"",
                                       &signal_ptr_));
    pins.push_back(new InterfaceObject(
        nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
        L"Controls the Filter's 'Cutoff'. 1 Volt per Octave or 1 Volt / kHz switchable", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0",
                                       L"1 Volt/Octave, 1 Volt/kHz ", IO_MINIMISED | IO_POLYPHONIC_ACTIVE,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

float ug_filter_1pole::DirectCoefficient(float pitch, int freqScale, float sampleRate)
{
    const float hz = freqScale == FS_VOLT_PER_KHZ ? pitch * 10000.0f : 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    const float limited = std::min(kMaxFrequencyRatio * sampleRate, hz);
    const float exponent = static_cast<float>(-kTwoPi) * limited / sampleRate;
    return static_cast<float>(std::exp(static_cast<double>(exponent)));
}

float ug_filter_1pole::TableEntry(int i, float sampleRate)
{
    return DirectCoefficient(static_cast<float>(i) * 0.001953125f, FS_VOLT_PER_OCTAVE, sampleRate);
}

float ug_filter_1pole::OctaveCoefficient(float pitch, float sampleRate) const
{
    // The table spans 0 ... 10 V; other pitches are worked out directly.
    if (cutoffTable_ && pitch >= 0.0f && pitch <= 1.0f)
    {
        const float* table = cutoffTable_->GetBlock();
        const float position = pitch * 512.0f;
        const int i = static_cast<int>(position);
        return table[i] + (table[i + 1] - table[i]) * (position - static_cast<float>(i));
    }
    return DirectCoefficient(pitch, FS_VOLT_PER_OCTAVE, sampleRate);
}

float ug_filter_1pole::Coefficient(float pitch) const
{
    if (freqScale_ == FS_VOLT_PER_OCTAVE)
        return OctaveCoefficient(pitch, SampleRate());
    return DirectCoefficient(pitch, freqScale_, SampleRate());
}

int ug_filter_1pole::Open()
{
    RunDelayed<&ug_filter_1pole::OnFirstSample>(sampleClock_);

    const float sampleRate = SampleRate();
    CreateSharedLookup2(L"1 pole l", cutoffTable_, static_cast<int>(sampleRate), kTableSize, true, SLS_GLOBAL);
    if (cutoffTable_ && cutoffTable_->GetSize() < kTableSize)
        cutoffTable_ = nullptr;
    if (cutoffTable_)
    {
        ULookup* table = cutoffTable_;
        table->FillOnce([table, sampleRate] {
            for (int i = 0; i < kTableSize; ++i)
                table->SetValue(i, TableEntry(i, sampleRate));
        });
    }

    const int result = ug_base::Open();
    y_ = 0.0f;
    return result;
}

void ug_filter_1pole::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    if (pin->index_ == PN_PITCH || pin->index_ == PN_FREQ_SCALE)
    {
        a_ = Coefficient(plugs_[PN_PITCH]->getValue());
        complement_ = 1.0f - a_;
    }
    if (pin->index_ == PN_SIGNAL)
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STREAMING);

    ChooseProcessFunction();
    ArmOverflowCheck();
}

void ug_filter_1pole::ChooseProcessFunction()
{
    const bool pitchStreaming = plugs_[PN_PITCH]->state_ == ST_STREAMING;
    const bool signalStreaming = plugs_[PN_SIGNAL]->state_ == ST_STREAMING;
    if (pitchStreaming)
    {
        if (freqScale_ == FS_VOLT_PER_KHZ)
            SetProcessFunction(lowPass_ ? &ug_filter_1pole::process_all_lp_khz : &ug_filter_1pole::process_all_hp_khz);
        else
            SetProcessFunction(lowPass_ ? &ug_filter_1pole::process_all_lp : &ug_filter_1pole::process_all_hp);
    }
    else if (signalStreaming)
    {
        SetProcessFunction(lowPass_ ? &ug_filter_1pole::process_fixed_freq_lp
                                    : &ug_filter_1pole::process_fixed_freq_hp);
    }
    else
    {
        SetProcessFunction(lowPass_ ? &ug_filter_1pole::process_fixed_freq_lp_settling
                                    : &ug_filter_1pole::process_fixed_freq_hp_settling);
    }
}

int64_t ug_filter_1pole::OneSecond()
{
    return std::max<int64_t>(1, static_cast<int64_t>(SampleRate()));
}

void ug_filter_1pole::ArmOverflowCheck()
{
    if (!checkIdle_)
        return;
    checkIdle_ = false;
    if (!std::isfinite(y_))
        y_ = 0.0f;
    // One chain of checks at a time: a check still pending carries on.
    if (!checkPending_)
    {
        checkPending_ = true;
        RunDelayed<&ug_filter_1pole::OverflowCheck>(sampleClock_ + OneSecond());
    }
}

void ug_filter_1pole::OverflowCheck()
{
    checkPending_ = false;
    if (!std::isfinite(y_))
        y_ = 0.0f;
    if (!checkIdle_)
    {
        checkPending_ = true;
        RunDelayed<&ug_filter_1pole::OverflowCheck>(sampleClock_ + OneSecond());
    }
}

void ug_filter_1pole::OnFirstSample()
{
    // A static input starts settled instead of rising from 0.
    if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
        y_ = plugs_[PN_SIGNAL]->getValue();
}

template <bool LowPass, bool VoltPerKhz>
void ug_filter_1pole::ProcessAll(int start, int count)
{
    const float* in = signal_ptr_ + start;
    const float* pitch = pitch_ptr_ + start;
    float* out = output_ptr_ + start;
    const float sampleRate = SampleRate();
    float y = y_;
    float a = a_;
    for (int i = 0; i < count; ++i)
    {
        a = VoltPerKhz ? DirectCoefficient(pitch[i], FS_VOLT_PER_KHZ, sampleRate) : OctaveCoefficient(pitch[i], sampleRate);
        const float x = in[i];
        y = (y - x) * a + x;
        out[i] = LowPass ? y : x - y;
    }
    y_ = y;
    a_ = a;
}

template <bool LowPass>
void ug_filter_1pole::ProcessFixed(int start, int count)
{
    const float* in = signal_ptr_ + start;
    float* out = output_ptr_ + start;
    const float a = a_;
    float y = y_;
    for (int i = 0; i < count; ++i)
    {
        const float x = in[i];
        y = (y - x) * a + x;
        out[i] = LowPass ? y : x - y;
    }
    y_ = y;
}

template <bool LowPass>
void ug_filter_1pole::ProcessSettling(int start, int count)
{
    ProcessFixed<LowPass>(start, count);

    const float x = signal_ptr_[start];
    const float step = (y_ - x) * a_;
    const bool unchanged = LowPass ? step + x == y_ : step == 0.0f;
    if (std::fabs(x - y_) < kSettleTolerance || unchanged)
    {
        y_ = x;
        checkIdle_ = true;
        ResetStaticOutput();
        SetProcessFunction(&ug_filter_1pole::process_static);
    }
}

void ug_filter_1pole::process_static(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, lowPass_ ? y_ : 0.0f);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_ + count, ST_STOPPED);
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"1 Pole LP", 458, 301, nullptr, &UnitClassOf<ug_filter_1pole>::value, 256));
}
