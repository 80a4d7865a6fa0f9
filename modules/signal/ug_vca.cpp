#include "modules/signal/ug_vca.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"

namespace
{
constexpr float kNoConstant = 888888896.0f;
constexpr float kExpScale = 1.0523957f; // 1 / (1 - e^-3)
constexpr int kLastEntry = ug_vca::kTableSize - 2;

// Stands in for a table that could not be made: silence rather than a crash.
const float kSilentCurve[ug_vca::kTableSize] = {};

template <class Entry>
void AttachTable(ug_base* owner, ULookup*& table, const wchar_t* name, Entry entry)
{
    owner->CreateSharedLookup2(name, table, -1, ug_vca::kTableSize, true, SLS_GLOBAL);
    if (table && table->GetSize() < ug_vca::kTableSize)
        table = nullptr;
    if (!table)
        return;
    ULookup* t = table;
    t->FillOnce([t, entry] {
        for (int i = 0; i < ug_vca::kTableSize; ++i)
            t->SetValue(i, entry(i));
    });
}

// Input and output are buffers of two modules: they do not overlap, so the
// loop takes four samples at a time without a test first.
void ScaleInto(float* __restrict out, const float* __restrict in, float gain, int n)
{
    for (int s = 0; s < n; ++s)
        out[s] = in[s] * gain;
}
} // namespace

float calcDecibelGainCurve(float x)
{
    float gain = std::pow(10.0f, (x - 1.0f) * 3.8888888f * 0.5f);
    if (x < 0.1f)
        gain *= std::sin(x * 1.5707964f * 10.0f);
    return gain;
}

ug_vca::ug_vca()
{
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
}

void ug_vca::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(
        nullptr, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
        L"The 2 inputs are Multiplied (Ring Modulated). Then 'normalised' eg 5V multiplied by 2 V = 1V, (5 * 2 ) / 10 ",
        &signal_ptr_));
    pins.push_back(
        new InterfaceObject(nullptr, L"Volume", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE, L"", &volume_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&responseCurve_, L"Response Curve", DR_IN, DT_ENUM, L"1",
                                       L"Exponential=1,Linear,Decibel,Decibel (old)=0", 0,
                                       L"In db mode: 10V to 2V gives 0 to -40db, 2V to 0v gives -40db to -70db (silence)"));
}

float ug_vca::ExpTableEntry(int i)
{
    if (i <= 0)
        return 0.0f;
    const float x = static_cast<float>(i) / kTableScale;
    return 1.0f + (1.0f - std::exp(3.0f * (x - 1.0f))) * -kExpScale;
}

float ug_vca::DecibelTableEntry(int i)
{
    return i <= 0 ? 0.0f : calcDecibelGainCurve(static_cast<float>(i) / kTableScale);
}

float ug_vca::OldDecibelTableEntry(int i)
{
    if (i <= 0)
        return 0.0f;
    float d = static_cast<float>(i) * 50.0f / kTableScale - 50.0f;
    if (d < -40.0f)
        d = (d + 40.0f) * 3.0f - 40.0f;
    return std::pow(10.0f, 0.1f * d);
}

void ug_vca::InitVolTable(ug_base* owner, ULookup*& table)
{
    AttachTable(owner, table, L"db Curve", &DecibelTableEntry);
}

void ug_vca::InitVolTable_old(ug_base* owner, ULookup*& table)
{
    AttachTable(owner, table, L"db Curve - old", &OldDecibelTableEntry);
}

void ug_vca::InitExpTable(ug_base* owner, ULookup*& table)
{
    AttachTable(owner, table, L"UVCA Trunc Exp Curve", &ExpTableEntry);
}

int ug_vca::Open()
{
    InitExpTable(this, expTable_);
    InitVolTable_old(this, oldDecibelTable_);
    InitVolTable(this, decibelTable_);
    OnCurveChange();
    return ug_base::Open();
}

int16_t ug_vca::Curve() const
{
    // A curve outside the list (a bad document) plays as the default curve.
    return responseCurve_ >= RC_DECIBEL_OLD && responseCurve_ <= RC_DECIBEL ? responseCurve_
                                                                           : static_cast<int16_t>(RC_EXPONENTIAL);
}

void ug_vca::OnCurveChange()
{
    const ULookup* table = nullptr;
    switch (Curve())
    {
    case RC_DECIBEL:
        table = decibelTable_;
        break;
    case RC_EXPONENTIAL:
        table = expTable_;
        break;
    case RC_DECIBEL_OLD:
        table = oldDecibelTable_;
        break;
    default:
        // Linear reads no table.
        if (curveTable_)
            return;
        table = expTable_;
        break;
    }
    curveTable_ = table ? table->GetBlock() : kSilentCurve;
}

float ug_vca::CalcGain(float v) const
{
    if (!(v > 0.0f))
        return 0.0f;
    const int16_t curve = Curve();
    v = std::min(v, curve == RC_LINEAR ? kMaxLinearGain : 3.0f);

    float gain = 0.0f;
    switch (curve)
    {
    case RC_DECIBEL_OLD:
    {
        float b = (v - 1.0f) * 5.0f;
        if (b < -4.0f)
            b = (b + 4.0f) * 3.0f - 4.0f;
        gain = std::pow(10.0f, b);
        break;
    }
    case RC_LINEAR:
        gain = v;
        break;
    case RC_DECIBEL:
        gain = calcDecibelGainCurve(v);
        break;
    default:
        gain = 1.0f - kExpScale * (1.0f - std::exp(3.0f * (v - 1.0f)));
        break;
    }
    // A straight fade to 0 over the lowest 0.01 V.
    if (v < 0.001f)
        gain *= v * 1000.0f;
    return gain;
}

void ug_vca::onSetPin(int64_t time, UPlug* pin, state_type /*state*/)
{
    UPlug* signal = plugs_[PN_SIGNAL];
    UPlug* volume = plugs_[PN_VOLUME];
    UPlug* output = plugs_[PN_OUTPUT];

    if (pin->index_ == PN_RESPONSE_CURVE)
    {
        OnCurveChange();
        gain_ = CalcGain(volume->getValue());
    }
    else if (pin->index_ == PN_VOLUME && volume->state_ < ST_STREAMING)
    {
        gain_ = CalcGain(volume->getValue());
    }

    const bool signalStreaming = signal->state_ == ST_STREAMING;
    const bool volumeStreaming = volume->state_ == ST_STREAMING;
    int outputState = std::max(signal->state_, volume->state_);
    float expected = kNoConstant;
    bool constant = false;

    if (!signalStreaming && signal->getValue() == 0.0f)
    {
        // Silence whatever the volume does.
        outputState = ST_STATIC;
        expected = 0.0f;
    }
    if (!volumeStreaming && !(volume->getValue() > 0.0f))
    {
        expected = 0.0f;
        constant = true;
    }
    else
    {
        constant = outputState < ST_STREAMING;
    }

    if (constant)
    {
        SetProcessFunction(&ug_vca::process_both_stop);
        if (output->state_ != ST_STREAMING && lastStaticOutput_ == expected)
            return;
        expected = signal->getValue() * gain_;
        ResetStaticOutput();
        output->TransmitState(time, ST_STATIC);
    }
    else
    {
        if (!volumeStreaming)
            SetProcessFunction<&ug_vca::process_vol_fixed>();
        else if (Curve() == RC_LINEAR)
            SetProcessFunction<&ug_vca::process_both_run_linear>();
        else
            SetProcessFunction<&ug_vca::process_both_run>();
        output->TransmitState(time, static_cast<state_type>(outputState));
    }
    lastStaticOutput_ = expected;
}

bool ug_vca::PPGetActiveFlag()
{
    auto marked = [](const UPlug* p) { return (p->plugFlags_ & PF_PP_DOWNSTREAM) != 0; };
    return marked(plugs_[PN_SIGNAL]) && marked(plugs_[PN_VOLUME]);
}

void ug_vca::process_both_run(int start, int count)
{
    const float* signal = signal_ptr_ + start;
    const float* volume = volume_ptr_ + start;
    float* out = output_ptr_ + start;
    const float* t = curveTable_;
    for (int s = 0; s < count; ++s)
    {
        const float idx = volume[s] * kTableScale;
        float g;
        // Compared as floats first: NaN and negative volumes give entry 0,
        // huge ones the last entry, and no index leaves the table.
        if (!(idx >= 0.0f))
        {
            g = t[0];
        }
        else if (idx < static_cast<float>(kLastEntry))
        {
            const int i = static_cast<int>(idx);
            g = t[i] + (t[i + 1] - t[i]) * (idx - static_cast<float>(i));
        }
        else
        {
            g = t[kLastEntry];
        }
        out[s] = signal[s] * g;
    }
}

void ug_vca::process_both_run_linear(int start, int count)
{
    const float* signal = signal_ptr_ + start;
    const float* volume = volume_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int s = 0; s < count; ++s)
    {
        const float v = volume[s];
        const float g = v > 0.0f ? (v < kMaxLinearGain ? v : kMaxLinearGain) : 0.0f;
        out[s] = g * signal[s];
    }
}

void ug_vca::process_vol_fixed(int start, int count)
{
    ScaleInto(output_ptr_ + start, signal_ptr_ + start, gain_, count);
}

void ug_vca::process_both_stop(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, signal_ptr_[start] * gain_);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"VCA", 413, 303, nullptr, &UnitClassOf<ug_vca>::value, 256));
}
