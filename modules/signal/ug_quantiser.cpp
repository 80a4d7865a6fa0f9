#include "modules/signal/ug_quantiser.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_quantiser::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal In", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE, L"",
                                       &input1_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Step Size", DR_IN, DT_FSAMPLE, L"1", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Quantisation step size in Volts", &input2_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
}

void ug_quantiser::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    UPlug* signal = plugs_[PN_INPUT1];
    UPlug* step = plugs_[PN_INPUT2];
    // A fixed step of zero or less passes a streaming signal through.
    if (signal->state_ == ST_STREAMING && step->state_ != ST_STREAMING && step->getValue() <= 0.0f)
    {
        SetProcessFunction(&ug_quantiser::processBypass);
        plugs_[PN_OUTPUT]->TransmitState(time, ST_STREAMING);
        return;
    }
    ug_math_base::onSetPin(time, pin, state);
}

void ug_quantiser::process_both_run(int start, int count)
{
    const float* x = input1_ptr_ + start;
    const float* step = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Quantise(x[i], step[i]);
}

void ug_quantiser::process_A_run(int start, int count)
{
    const float* x = input1_ptr_ + start;
    float* out = output_ptr_ + start;
    const float step = input2_ptr_[start];
    for (int i = 0; i < count; ++i)
        out[i] = Quantise(x[i], step);
}

void ug_quantiser::process_B_run(int start, int count)
{
    const float* step = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float x = input1_ptr_[start];
    for (int i = 0; i < count; ++i)
        out[i] = Quantise(x, step[i]);
}

void ug_quantiser::processBypass(int start, int count)
{
    const float* x = input1_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(x[i]);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Quantiser", 503, 303, nullptr, &UnitClassOf<ug_quantiser>::value, 256));
}
