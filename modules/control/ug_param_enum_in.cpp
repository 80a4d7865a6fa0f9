#include "modules/control/ug_param_enum_in.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_param_enum_in::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&listOut_, L"List Out", DR_OUT, DT_ENUM, L"", L"", 0,
                                       L"Connect this to any input needing a list of values"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
}

int ug_param_enum_in::Open()
{
    const int result = ug_control::Open();
    SetProcessFunction(&ug_base::process_sleep);
    return result;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"KV Parameter Enum In", 0, 32829, nullptr, &UnitClassOf<ug_param_enum_in>::value, 256));
}
