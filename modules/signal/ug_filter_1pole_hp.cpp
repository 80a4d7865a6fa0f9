#include "modules/signal/ug_filter_1pole_hp.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"1 Pole HP", 501, 301, nullptr, &UnitClassOf<ug_filter_1pole_hp>::value, 256));
}
