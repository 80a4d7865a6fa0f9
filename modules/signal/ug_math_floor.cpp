#include "modules/signal/ug_math_floor.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_math_floor::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = WholeVoltsBelow(in[i]) * 0.1f;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Floor", 511, 312, nullptr, &UnitClassOf<ug_math_floor>::value, 256));
}
