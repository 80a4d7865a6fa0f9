#include "core/numeric_helpers.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace
{

int SaturateToInt(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

bool SetBit(int& flags, int mask, bool on)
{
    const int before = flags;
    if (on)
        flags |= mask;
    else
        flags &= ~mask;
    return flags == before;
}

int msToSamples(int ms, int sampleRate)
{
    // Whole seconds and the rest apart, so large times stay exact.
    const int64_t rate = sampleRate;
    const int64_t samples = (ms / 1000) * rate + ((ms % 1000) * rate) / 1000;
    return SaturateToInt(samples);
}

int SampleToMs(int64_t samples, int sampleRate)
{
    if (sampleRate <= 0)
        return 0;
    const int64_t rate = sampleRate;
    const int64_t seconds = samples / rate;
    // Beyond this the result cannot fit an int anyway.
    constexpr int64_t limit = INT64_C(1) << 40;
    if (seconds > limit)
        return INT_MAX;
    if (seconds < -limit)
        return INT_MIN;
    const int64_t fraction = ((samples % rate) * 1000 + rate / 2) / rate;
    return SaturateToInt(seconds * 1000 + fraction);
}

void reverse(void* data, int count)
{
    if (data == nullptr)
        return;
    auto* bytes = static_cast<unsigned char*>(data);
    for (int i = 0; i < count; ++i, bytes += 4)
    {
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
    }
}

bool is_denormal(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return (bits & 0x7FF00000u) == 0 && (bits & 0x000FFFFFu) != 0;
}
