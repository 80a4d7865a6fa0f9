#include "modules/control/ug_fixed_values.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
// A further pin-description bit that the patch format carries for these outputs.
constexpr int kFixedValueExtraFlag = 0x20;
} // namespace

void ug_fixed_values::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    // The patch holds one copy per value; each copy's default is its voltage.
    pins.push_back(new InterfaceObject(nullptr, L"Spare Value", DR_OUT, DT_FSAMPLE, L"0", L"",
                                       IO_AUTODUPLICATE | IO_RENAME | IO_CUSTOMISABLE | kFixedValueExtraFlag,
                                       L"Pre-Set Voltage"));
}

int ug_fixed_values::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_base::process_sleep);
    for (UPlug* pin : plugs_)
    {
        if (pin->DataType() == DT_FSAMPLE)
            pin->TransmitState(sampleClock_, ST_STATIC);
        else
            SendPinsCurrentValue(sampleClock_, pin);
    }
    return result;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Fixed Values", 462, 32828, nullptr, &UnitClassOf<ug_fixed_values>::value, 256));
}
