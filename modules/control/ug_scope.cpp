#include "modules/control/ug_scope.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_scope::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal A", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT));
    pins.push_back(new InterfaceObject(nullptr, L"Signal B", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT));
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Scope", 463, 32829, nullptr, &UnitClassOf<ug_scope>::value, 384));
}
