#include "modules/signal/ug_math_ceil.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/ug_math_floor.h"

void ug_math_ceil::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = (ug_math_floor::WholeVoltsBelow(in[i]) + 1.0f) * 0.1f;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Ceil", 512, 312, nullptr, &UnitClassOf<ug_math_ceil>::value, 256));
}
