#include "modules/signal/ug_clipper.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_clipper::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal In", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE, L"",
                                       &input_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Hi Limit", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Clips any input signal above this voltage", &hi_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Lo Limit", DR_IN, DT_FSAMPLE, L"-2", L"-100, 0, 0, -10",
                                       IO_POLYPHONIC_ACTIVE, L"Clips any input signal below this voltage", &lo_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
}

int ug_clipper::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_clipper::sub_process);
    return result;
}

void ug_clipper::onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/)
{
    const int s = std::max({plugs_[PN_INPUT]->state_, plugs_[PN_HI_LIMIT]->state_, plugs_[PN_LO_LIMIT]->state_});
    if (s > ST_STATIC)
    {
        SetProcessFunction(&ug_clipper::sub_process);
    }
    else
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_clipper::process_all_stop);
    }
    plugs_[PN_OUTPUT]->TransmitState(time, static_cast<state_type>(s));
}

void ug_clipper::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float* hi = hi_ptr_ + start;
    const float* lo = lo_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Clip(in[i], hi[i], lo[i]);
}

void ug_clipper::process_all_stop(int start, int count)
{
    const float value = Clip(input_ptr_[start], hi_ptr_[start], lo_ptr_[start]);
    std::fill(output_ptr_ + start, output_ptr_ + start + count, value);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Clipper", 419, 317, nullptr, &UnitClassOf<ug_clipper>::value, 256));
}
