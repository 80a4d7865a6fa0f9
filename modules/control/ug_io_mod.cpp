#include "modules/control/ug_io_mod.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_io_mod::ug_io_mod()
{
    flags_ |= UGF_POLYPHONIC_AGGREGATOR | UGF_PINS_MAY_BE_TIED;
}

void ug_io_mod::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Spare", DR_IN, DT_FSAMPLE, L"0", L"", 0x8004C,
                                       L"Connection to modules outside (at higher level of structure)", &spare_));
}

int ug_io_mod::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_base::process_sleep);
    // Sends the values of outputs given a default, once.
    PostEvent(sampleClock_, UET_UI_NOTIFY, 1);
    return result;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"IO Mod", 404, 0, nullptr, &UnitClassOf<ug_io_mod>::value, 262));
}
