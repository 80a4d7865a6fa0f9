#include "modules/control/ug_text_entry.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_text_entry::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListControlPins(*this, pins);
    pins.push_back(new InterfaceObject(&textOut_, L"Text Out", DR_OUT, DT_TEXT, L"0", L"", IO_AUTOCONFIGURE_PARAMETER));
    pins.push_back(new InterfaceObject(nullptr, L"Show Title On Panel", DR_IN, DT_BOOL, L"1", L"", IO_MINIMISED,
                                       L"Leaves control's title blank on Control Panel"));
    pins.push_back(new InterfaceObject(&patchValue_, L"patchValue", DR_IN, DT_TEXT, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_TEXT, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"Hint", DR_OUT, DT_TEXT, L"", L"", IO_MINIMISED | IO_UI_COMMUNICATION));
}

void ug_text_entry::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    if (pin != plugs_[PN_PATCH_VALUE_IN])
        return;
    textOut_ = patchValue_;
    SendPinsCurrentValue(sampleClock_, plugs_[PN_TEXT_OUT]);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Text Entry", 406, 32828, nullptr, &UnitClassOf<ug_text_entry>::value, 384));
}
