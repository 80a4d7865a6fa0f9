#include "modules/signal/ug_sample_hold.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_sample_hold::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(
        new InterfaceObject(nullptr, L"Audio", DR_IN, DT_FSAMPLE, L"8", L"", IO_LINEAR_INPUT, L"", &audio_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Hold", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Freezes input signal on leading edge", &hold_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
}

void ug_sample_hold::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    // The output changes only when "Hold" does.
    if (pin->index_ == PN_HOLD)
        plugs_[PN_OUTPUT]->TransmitState(time, state);

    if (plugs_[PN_AUDIO]->state_ == ST_STREAMING || plugs_[PN_HOLD]->state_ == ST_STREAMING)
    {
        SetProcessFunction(&ug_sample_hold::sub_process);
    }
    else
    {
        SetProcessFunction(&ug_sample_hold::sub_process_static);
        ResetStaticOutput();
    }
}

void ug_sample_hold::Track(int start, int count)
{
    const float* audio = audio_ptr_ + start;
    const float* hold = hold_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        const bool h = hold[i] > 0.0f;
        if (h != holdState_)
        {
            holdState_ = h;
            if (h)
            {
                const float x = audio[i];
                heldValue_ = x != x ? 0.0f : (x < -kLimit ? -kLimit : (x > kLimit ? kLimit : x));
            }
        }
        out[i] = heldValue_;
    }
}

void ug_sample_hold::sub_process(int start, int count)
{
    Track(start, count);
}

void ug_sample_hold::sub_process_static(int start, int count)
{
    Track(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Sample and Hold", 465, 303, nullptr, &UnitClassOf<ug_sample_hold>::value, 256));
}
