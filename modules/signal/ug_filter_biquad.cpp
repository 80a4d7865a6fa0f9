#include "modules/signal/ug_filter_biquad.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/LookupTable.h"

namespace
{
constexpr float kFlushLevel = 1.5e-6f;
constexpr float kMaxDirectRatio = 0.495f;
constexpr int64_t kFirstCheckDelay = 50;
// Inputs and resonance beyond 10 kV (or NaN) are held at the limit so that outputs stay finite.
constexpr float kInputLimit = 1000.0f;

inline float LimitInput(float x)
{
    return std::min(kInputLimit, std::max(-kInputLimit, x));
}
} // namespace

void ug_filter_biquad::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"",
                                       &signal_ptr_));
    pins.push_back(new InterfaceObject(
        nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
        L"Controls the Filter's 'Cutoff'. 1 Volt per Octave or 1 Volt / kHz switchable", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Resonance", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Emphasises the Cutoff frequency", &resonance_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&mode_, L"Mode", DR_IN, DT_ENUM, L"0", L"4 Pole LP", IO_PRIVATE,
                                       L"Not used at present"));
    pins.push_back(new InterfaceObject(nullptr, L"Boost/Cut", DR_IN, DT_FSAMPLE, L"0", L"10,-10,10,-10",
                                       IO_PRIVATE | IO_POLYPHONIC_ACTIVE,
                                       L"For Parametric Filters, +ve = boost, -ve = cut. NOT USED AT PRESENT",
                                       &boost_cut_ptr_));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0",
                                       L"1 Volt/Octave, 1 Volt/kHz ", IO_MINIMISED | IO_POLYPHONIC_ACTIVE,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

ug_filter_biquad::Coefficients ug_filter_biquad::ForCutoff(float F)
{
    Coefficients c;
    c.k = -1.6f * F * F + 3.6f * F - 1.0f;
    c.p = (c.k + 1.0f) * 0.5f;
    c.scale = expf((1.0f - c.p) * 1.386249f);
    return c;
}

ug_filter_biquad::Coefficients ug_filter_biquad::FromTables(float pitch) const
{
    // NaN and pitches above 10 V take entry 512.
    const float position = std::min(1.0f, pitch) * 512.0f;
    const int i = static_cast<int>(position);
    const float fraction = position - static_cast<float>(i);
    const float* kp = kpTable_->GetBlock();
    const float* scale = scaleTable_->GetBlock();
    Coefficients c;
    c.k = kp[i] + (kp[i + 1] - kp[i]) * fraction;
    c.p = (c.k + 1.0f) * 0.5f;
    c.scale = scale[i] + (scale[i + 1] - scale[i]) * fraction;
    return c;
}

template <bool VoltPerKhz>
void ug_filter_biquad::freq_change(float pitch, float resonance)
{
    Coefficients c;
    if (!VoltPerKhz && !(pitch < 0.0f) && kpTable_ && scaleTable_)
    {
        c = FromTables(pitch);
    }
    else
    {
        const float sampleRate = SampleRate();
        const float hz = VoltPerKhz ? pitch * 10000.0f : 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
        // A negative cutoff would make every stage grow; it is taken as 0 Hz.
        const float limited = hz > 0.0f ? std::min(kMaxDirectRatio * sampleRate, hz) : 0.0f;
        c = ForCutoff(2.0f * limited / sampleRate);
    }
    k_ = c.k;
    p_ = c.p;
    scale_ = c.scale;
    rez_ = scale_ * LimitInput(resonance);
}

int ug_filter_biquad::Open()
{
    const float sampleRate = SampleRate();
    const int key = static_cast<int>(sampleRate);
    CreateSharedLookup2(L"Moog LP Scale", scaleTable_, key, kTableSize, true, SLS_GLOBAL);
    CreateSharedLookup2(L"Moog LP kp", kpTable_, key, kTableSize, true, SLS_GLOBAL);
    if (!scaleTable_ || !kpTable_ || scaleTable_->GetSize() < kTableSize || kpTable_->GetSize() < kTableSize)
    {
        scaleTable_ = nullptr;
        kpTable_ = nullptr;
    }
    if (scaleTable_)
    {
        ULookup* scale = scaleTable_;
        ULookup* kp = kpTable_;
        // Both are filled under the scale table's flag; kp is complete before that flag is set.
        scale->FillOnce([scale, kp, sampleRate] {
            for (int i = 0; i < kTableSize; ++i)
            {
                const float hz = 440.0f * std::exp2f(static_cast<float>(i) * 10.0f * 0.001953125f - 5.0f);
                const Coefficients c = ForCutoff(2.0f * std::min(0.5f * sampleRate, hz) / sampleRate);
                scale->SetValue(i, c.scale);
                kp->SetValue(i, c.k);
            }
            kp->SetFilled();
        });
    }

    const int result = ug_base::Open();
    SetProcessFunction(&ug_filter_biquad::process_all);
    ClearLadder();
    return result;
}

void ug_filter_biquad::ClearLadder()
{
    oldx_ = y1_ = oldy1_ = y2_ = oldy2_ = y3_ = oldy3_ = y4_ = 0.0f;
}

void ug_filter_biquad::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    const int index = pin->index_;
    if (index == PN_PITCH || index == PN_RESONANCE || index == PN_FREQ_SCALE)
    {
        const float pitch = plugs_[PN_PITCH]->getValue();
        const float resonance = plugs_[PN_RESONANCE]->getValue();
        if (freqScale_ == FS_VOLT_PER_KHZ)
            freq_change<true>(pitch, resonance);
        else
            freq_change<false>(pitch, resonance);
    }
    if (index == PN_SIGNAL)
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STREAMING);

    ChooseProcessFunction();

    if (checkIdle_)
    {
        checkIdle_ = false;
        ScheduleCheck(kFirstCheckDelay);
    }
}

void ug_filter_biquad::ChooseProcessFunction()
{
    if (plugs_[PN_PITCH]->state_ == ST_STREAMING || plugs_[PN_RESONANCE]->state_ == ST_STREAMING)
    {
        SetProcessFunction(freqScale_ == FS_VOLT_PER_KHZ ? &ug_filter_biquad::process_all_khz
                                                         : &ug_filter_biquad::process_all);
    }
    else if (plugs_[PN_SIGNAL]->state_ == ST_STREAMING)
    {
        SetProcessFunction(&ug_filter_biquad::process_fixed_freq);
    }
    else
    {
        SetProcessFunction(&ug_filter_biquad::process_no_input);
    }
}

void ug_filter_biquad::ScheduleCheck(int64_t delay)
{
    RunDelayed<&ug_filter_biquad::OverflowCheck>(sampleClock_ + std::max<int64_t>(1, delay));
}

void ug_filter_biquad::OverflowCheck()
{
    // Any overflowed stage resets the ladder: a NaN in an inner stage would
    // otherwise stay hidden behind a zeroed last stage.
    const float states[] = {oldx_, y1_, oldy1_, y2_, oldy2_, y3_, oldy3_, y4_};
    for (float s : states)
    {
        if (!std::isfinite(s))
        {
            ClearLadder();
            break;
        }
    }
    if (checkIdle_)
        return;

    if (plugs_[PN_SIGNAL]->state_ == ST_STREAMING)
    {
        ScheduleCheck(static_cast<int64_t>(SampleRate()));
        return;
    }

    const int blockSize = audioMaster_ ? std::max(1, audioMaster_->BlockSize()) : 1;
    const int64_t nextCheck = 4 * static_cast<int64_t>(blockSize);
    if (std::fabs(oldx_) < kFlushLevel)
        oldx_ = 0.0f;
    bool flushedOutput = false;
    if (y4_ != 0.0f && std::fabs(y4_) < kFlushLevel && plugs_[PN_SIGNAL]->getValue() == 0.0f)
    {
        y4_ = 0.0f;
        flushedOutput = true;
    }
    for (float* y : {&y1_, &y2_, &y3_})
    {
        if (std::fabs(*y) < kFlushLevel)
            *y = 0.0f;
    }
    if (flushedOutput)
    {
        ScheduleCheck(nextCheck);
        return;
    }

    const float* out = output_ptr_;
    const float first = out[0];
    for (int i = 0; i < blockSize; ++i)
    {
        if (!(out[i] == first))
        {
            ScheduleCheck(nextCheck);
            return;
        }
    }
    checkIdle_ = true;
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STOPPED);
    SetProcessFunction(&ug_base::process_sleep);
}

inline float ug_filter_biquad::Step(float x)
{
    const float xp = LimitInput(x) - rez_ * y4_;
    const float y1 = (xp + oldx_) * p_ - k_ * y1_;
    const float y2 = (y1 + oldy1_) * p_ - k_ * y2_;
    const float y3 = (y2 + oldy2_) * p_ - k_ * y3_;
    const float t = (y3 + oldy3_) * p_ - k_ * y4_;
    float y4 = t + t * t * t * -0.16666667f;
    // Past the limit's turning point (or on overflow) the last stage is zeroed.
    if (!(y4 * t >= 0.0f))
        y4 = 0.0f;
    oldx_ = xp;
    y1_ = oldy1_ = y1;
    y2_ = oldy2_ = y2;
    y3_ = oldy3_ = y3;
    y4_ = y4;
    return y4;
}

template <bool VoltPerKhz>
void ug_filter_biquad::ProcessAll(int start, int count)
{
    const float* in = signal_ptr_ + start;
    const float* pitch = pitch_ptr_ + start;
    const float* resonance = resonance_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        freq_change<VoltPerKhz>(pitch[i], resonance[i]);
        out[i] = Step(in[i]);
    }
}

void ug_filter_biquad::ProcessFixed(int start, int count)
{
    const float* in = signal_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Step(in[i]);
}

template void ug_filter_biquad::freq_change<false>(float, float);
template void ug_filter_biquad::freq_change<true>(float, float);

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Moog Filter", 448, 301, nullptr, &UnitClassOf<ug_filter_biquad>::value, 256));
}
