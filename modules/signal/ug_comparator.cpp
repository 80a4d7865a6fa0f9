#include "modules/signal/ug_comparator.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
// A set voltage from the host or a patch that is not finite plays as 0 V.
float OutputSample(float volts)
{
    return std::isfinite(volts) ? volts * 0.1f : 0.0f;
}
} // namespace

void ug_comparator::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Input A", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE,
                                       L"The 2 inputs are compared.  The output goes either high or low depending",
                                       &inputA_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Input B", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE, L"",
                                       &inputB_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&hiOutVal_, L"Hi Out Val", DR_IN, DT_FLOAT, L"5", L"", 0));
    pins.push_back(new InterfaceObject(&loOutVal_, L"Lo Out Val", DR_IN, DT_FLOAT, L"-5", L"", 0));
}

void ug_comparator::onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/)
{
    hiOut_ = OutputSample(hiOutVal_);
    loOut_ = OutputSample(loOutVal_);

    const int stateA = plugs_[PN_INPUT_A]->state_;
    const int stateB = plugs_[PN_INPUT_B]->state_;
    const int s = std::max(stateA, stateB);
    if (s > ST_STATIC && stateA == ST_STREAMING)
    {
        if (stateB == ST_STREAMING)
            SetProcessFunction(&ug_comparator::process_both_run);
        else
            SetProcessFunction(&ug_comparator::process_A_run);
    }
    else if (s > ST_STATIC)
    {
        SetProcessFunction(&ug_comparator::process_B_run);
    }
    else
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_comparator::process_both_stop);
    }
    plugs_[PN_OUTPUT]->TransmitState(time, static_cast<state_type>(s));
}

void ug_comparator::process_both_run(int start, int count)
{
    const float* a = inputA_ptr_ + start;
    const float* b = inputB_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Compare(a[i], b[i]);
}

void ug_comparator::process_A_run(int start, int count)
{
    const float* a = inputA_ptr_ + start;
    const float b = inputB_ptr_[start];
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Compare(a[i], b);
}

void ug_comparator::process_B_run(int start, int count)
{
    const float a = inputA_ptr_[start];
    const float* b = inputB_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Compare(a, b[i]);
}

void ug_comparator::process_both_stop(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, Compare(inputA_ptr_[start], inputB_ptr_[start]));
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Comparator", 498, 303, nullptr, &UnitClassOf<ug_comparator>::value, 256));
}
