#include "modules/signal/ug_generic_1_1.h"

#include "core/InterfaceObject.h"

void ug_generic_1_1::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE, L"",
                                       &input_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
}

int ug_generic_1_1::Open()
{
    SetProcessFunction(&ug_generic_1_1::sub_process);
    return ug_base::Open();
}

void ug_generic_1_1::onSetPin(int64_t time, UPlug* /*pin*/, state_type state)
{
    plugs_[PN_OUTPUT]->TransmitState(time, state);
    if (state != ST_STREAMING)
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_generic_1_1::sub_process_static);
    }
    else
    {
        SetProcessFunction(&ug_generic_1_1::sub_process);
    }
}

void ug_generic_1_1::sub_process_static(int start, int count)
{
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}
