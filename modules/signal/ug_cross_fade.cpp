#include "modules/signal/ug_cross_fade.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_cross_fade::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(
        new InterfaceObject(nullptr, L"Input A", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &input_ptr_));
    pins.push_back(
        new InterfaceObject(nullptr, L"Input B", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &inputB_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Mix", DR_IN, DT_FSAMPLE, L"0", L"5,-5,5,-5", IO_POLYPHONIC_ACTIVE,
                                       L"Varies the mix from +5V - Input A, to -5V - Input B", &pan_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &left_ptr_));
    pins.push_back(new InterfaceObject(&fadeLaw_, L"Fade Law", DR_IN, DT_ENUM, L"1",
                                       L"Equal Intensity (0dB), Equal Power(+3dB), Sqr Root", IO_MINIMISED,
                                       L"Chooses different cross fade laws"));
}

float ug_cross_fade::ReadCurveHeld(const float* table, float t)
{
    // Tested as a float before any conversion, so no index leaves the table.
    if (!(t >= 0.0f))
        return table[0];
    if (t < 1.0f)
        return ReadFade(table, t);
    return table[kFadeTableSize - 2];
}

void ug_cross_fade::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    UPlug* inputA = plugs_[PN_INPUT_A];
    UPlug* inputB = plugs_[PN_INPUT_B];
    UPlug* mix = plugs_[PN_MIX];

    const int index = pin->index_;
    if (index == PN_FADE_LAW)
        SetLookupTable();
    if ((index == PN_MIX || index == PN_FADE_LAW) && state < ST_STREAMING)
        CalcFixedMultipliers(mix->getValue());

    const int s = std::max({inputA->state_, inputB->state_, static_cast<int32_t>(ST_STATIC)});
    int outputState = ST_STREAMING;
    if (mix->state_ == ST_STREAMING)
    {
        if (fadeLaw_ == FL_EQUAL_INTENSITY)
            SetProcessFunction(&ug_cross_fade::sub_process_mix_linear);
        else
            SetProcessFunction(&ug_cross_fade::sub_process_mix);
    }
    else if (s != ST_STREAMING)
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_cross_fade::sub_process_static);
        outputState = s;
    }
    else
    {
        SetProcessFunction(&ug_cross_fade::sub_process);
    }
    plugs_[PN_OUTPUT]->TransmitState(time, static_cast<state_type>(outputState));
}

void ug_cross_fade::sub_process_mix_linear(int start, int count)
{
    const float* a = input_ptr_ + start;
    const float* b = inputB_ptr_ + start;
    const float* mix = pan_ptr_ + start;
    float* out = left_ptr_ + start;
    // A branch-free loop the compiler runs several samples at a time.
    for (int i = 0; i < count; ++i)
    {
        const float x = PanPosition(mix[i]);
        out[i] = (1.0f - x) * a[i] + x * b[i];
    }
}

void ug_cross_fade::sub_process_mix(int start, int count)
{
    const float* a = input_ptr_ + start;
    const float* b = inputB_ptr_ + start;
    const float* mix = pan_ptr_ + start;
    float* out = left_ptr_ + start;
    const float* curve = FadeCurve();
    float gainA = rightGain_;
    float gainB = leftGain_;
    for (int i = 0; i < count; ++i)
    {
        const float x = 0.5f - mix[i];
        gainB = ReadCurveHeld(curve, x);
        gainA = ReadCurveHeld(curve, 1.0f - x);
        out[i] = gainA * a[i] + gainB * b[i];
    }
    rightGain_ = gainA;
    leftGain_ = gainB;
}

void ug_cross_fade::sub_process(int start, int count)
{
    const float* a = input_ptr_ + start;
    const float* b = inputB_ptr_ + start;
    float* out = left_ptr_ + start;
    const float gainA = rightGain_;
    const float gainB = leftGain_;
    for (int i = 0; i < count; ++i)
        out[i] = a[i] * gainA + b[i] * gainB;
}

void ug_cross_fade::sub_process_static(int start, int count)
{
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"X-Mix", 442, 303, nullptr, &UnitClassOf<ug_cross_fade>::value, 256));
}
