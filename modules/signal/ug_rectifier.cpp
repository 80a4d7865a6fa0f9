#include "modules/signal/ug_rectifier.h"

#include <cmath>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_rectifier::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    // A NaN becomes silence so it cannot spread downstream.
    for (int i = 0; i < count; ++i)
    {
        const float x = in[i];
        out[i] = x == x ? std::fabs(x) : 0.0f;
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Rectifier", 451, 303, nullptr, &UnitClassOf<ug_rectifier>::value, 256));
}
