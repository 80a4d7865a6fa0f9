#include "modules/control/ug_system_command.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/logic_levels.h"

ug_system_command::ug_system_command()
{
    SetProcessFunction(&ug_system_command::sub_process);
}

void ug_system_command::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Trigger in", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Whenever this input exceeds 3.33 Volts, the DOS command is executed.",
                                       &input_));
    pins.push_back(new InterfaceObject(&command_, L"Command", DR_IN, DT_TEXT, L"", L"", 0,
                                       L"The DOS command to execute."));
}

int ug_system_command::Open()
{
    SetProcessFunction(&ug_system_command::sub_process);
    return ug_base::Open();
}

void ug_system_command::Flip()
{
    triggerState_ = !triggerState_;
    ++triggerChanges_;
}

void ug_system_command::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    if (pin->index_ != PN_TRIGGER)
        return;
    triggerPinState_ = state;
    if (state == ST_STREAMING)
    {
        SetProcessFunction(&ug_system_command::sub_process);
        ResetStaticOutput();
        return;
    }
    const float value = pin->getValue();
    if (logic_levels::Schmitt(triggerState_, value) != triggerState_)
    {
        Flip();
        SetProcessFunction(&ug_system_command::sub_process);
        ResetStaticOutput();
    }
}

void ug_system_command::sub_process(int start, int count)
{
    // Each crossing of the threshold that faces the present state flips it.
    if (input_)
    {
        for (int i = start; i < start + count; ++i)
        {
            if (logic_levels::Schmitt(triggerState_, input_[i]) != triggerState_)
                Flip();
        }
    }
    if (triggerPinState_ == ST_STREAMING)
        return;
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"OS Command", 510, 324, nullptr, &UnitClassOf<ug_system_command>::value, 256));
}
