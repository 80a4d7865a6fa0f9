#include "modules/signal/ug_math_base.h"

#include <algorithm>

#include "core/InterfaceObject.h"

void ug_math_base::ListMathPins(std::vector<InterfaceObject*>& pins, int input1Flags, const std::wstring& input1Help,
                                int input2Flags)
{
    pins.push_back(new InterfaceObject(nullptr, L"Input 1", DR_IN, DT_FSAMPLE, L"8", L"", input1Flags, input1Help,
                                       &input1_ptr_));
    pins.push_back(
        new InterfaceObject(nullptr, L"Input 2", DR_IN, DT_FSAMPLE, L"8", L"", input2Flags, L"", &input2_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
}

void ug_math_base::onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/)
{
    UPlug* a = plugs_[PN_INPUT1];
    UPlug* b = plugs_[PN_INPUT2];
    UPlug* output = plugs_[PN_OUTPUT];
    auto s = static_cast<state_type>(std::max<int>(a->state_, b->state_));

    // A static zero on either input makes a product a static zero.
    if (zeroShortCut_ && ((a->state_ != ST_STREAMING && a->getValue() == 0.0f) ||
                          (b->state_ != ST_STREAMING && b->getValue() == 0.0f)))
        s = ST_STATIC;

    if (s == ST_STREAMING)
    {
        if (a->state_ != ST_STREAMING)
            SetProcessFunction(&ug_math_base::process_B_run);
        else if (b->state_ != ST_STREAMING)
            SetProcessFunction(&ug_math_base::process_A_run);
        else
            SetProcessFunction(&ug_math_base::process_both_run);
        output->TransmitState(time, ST_STREAMING);
        return;
    }

    SetProcessFunction(&ug_math_base::process_both_stop1);
    ResetStaticOutput();
    output->TransmitState(time, s);
}

bool ug_math_base::PPGetActiveFlag()
{
    auto marked = [](const UPlug* p) { return (p->plugFlags_ & PF_PP_DOWNSTREAM) != 0; };
    return marked(plugs_[PN_INPUT1]) && marked(plugs_[PN_INPUT2]);
}

void ug_math_base::process_both_stop1(int start, int count)
{
    if (count < 1)
        return;
    process_A_run(start, 1);
    staticOutput_ = output_ptr_[start];
    SetProcessFunction(&ug_math_base::process_both_stop2);
    std::fill(output_ptr_ + start + 1, output_ptr_ + start + count, staticOutput_);
    staticOutputCountdown_ -= count - 1;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

void ug_math_base::process_both_stop2(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, staticOutput_);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}
