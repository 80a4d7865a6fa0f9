#include "modules/signal/ug_denormal_detect.h"

#include <bit>
#include <cstdint>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
constexpr uint32_t kExponentMask = 0x7F800000u;
constexpr uint32_t kMantissaMask = 0x007FFFFFu;
constexpr float kDetected = 5.0f;
} // namespace

void ug_denormal_detect::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        const uint32_t bits = std::bit_cast<uint32_t>(in[i]);
        const bool denormal = (bits & kExponentMask) == 0 && (bits & kMantissaMask) != 0;
        out[i] = denormal ? kDetected : 0.0f;
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Denormal Detector", 505, 150, nullptr, &UnitClassOf<ug_denormal_detect>::value, 256));
}
