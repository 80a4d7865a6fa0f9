#include "modules/signal/ug_denormal_stop.h"

#include <bit>
#include <cstdint>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
constexpr uint32_t kExponentMask = 0x7F800000u;
} // namespace

void ug_denormal_stop::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    // Only normal numbers pass: an exponent field of all zeros (zeros,
    // denormals) or all ones (infinities, NaN) gives +0.0.
    for (int i = 0; i < count; ++i)
    {
        const uint32_t exponent = std::bit_cast<uint32_t>(in[i]) & kExponentMask;
        out[i] = exponent != 0 && exponent != kExponentMask ? in[i] : 0.0f;
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Denormal Cleaner", 504, 150, nullptr, &UnitClassOf<ug_denormal_stop>::value, 256));
}
