#include "modules/signal/ug_math_ceil.h"

#include <cmath>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
// Inputs a hair above a whole volt (a sample value not exact in binary) count as that volt.
constexpr float kBias = 6e-07f;
// Past 2^24 V every float is a whole volt; the clamp keeps the output bounded.
constexpr float kLimit = 16777216.0f;
} // namespace

void ug_math_ceil::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        float t = in[i] * 10.0f - kBias;
        t = t == t ? t : 0.0f; // NaN plays as 0 V
        t = t >= -kLimit ? t : -kLimit;
        t = t <= kLimit ? t : kLimit;
        out[i] = std::ceil(t) * 0.1f;
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Ceil", 512, 312, nullptr, &UnitClassOf<ug_math_ceil>::value, 256));
}
