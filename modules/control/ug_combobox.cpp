#include "modules/control/ug_combobox.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_combobox::ug_combobox()
{
    flags_ |= UGF_NEVER_SUSPEND;
    SetProcessFunction(&ug_base::process_sleep);
}

void ug_combobox::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListControlPins(*this, pins);
    pins.push_back(new InterfaceObject(&choice_, L"Choice", DR_OUT, DT_ENUM, L"", L"", IO_AUTOCONFIGURE_PARAMETER,
                                       L"Connect this to any input needing a list of values"));
    pins.push_back(new InterfaceObject(&appearance_, L"Appearance", DR_IN, DT_ENUM, L"0",
                                       L"Combo Box=0, LED Stack, Labeled LED Stack, Selector, Button Stack, "
                                       L"Rotary Switch, Rotary (No Text), Up/Down Select",
                                       IO_MINIMISED, L"Sets the appearance of the control"));
    pins.push_back(new InterfaceObject(nullptr, L"Show Title On Panel", DR_IN, DT_BOOL, L"1", L"", IO_MINIMISED,
                                       L"Leaves control's title blank on Control Panel"));
    pins.push_back(new InterfaceObject(&patchValue_, L"patchValue", DR_IN, DT_ENUM, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_ENUM, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"Hint", DR_OUT, DT_TEXT, L"", L"", IO_MINIMISED | IO_UI_COMMUNICATION));
}

int ug_combobox::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_base::process_sleep);
    return result;
}

void ug_combobox::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    if (pin != plugs_[PN_PATCH_VALUE_IN])
        return;
    choice_ = patchValue_;
    SendPinsCurrentValue(sampleClock_, plugs_[PN_CHOICE]);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"List Entry", 407, 32828, nullptr, &UnitClassOf<ug_combobox>::value, 384));
}
