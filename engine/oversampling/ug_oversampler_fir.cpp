#include "engine/oversampling/ug_oversampler_fir.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int OversamplerFir::TapCount(int setting, int factor)
{
    factor = std::max(1, factor);
    int taps = std::clamp(setting, 4, kMaxTaps) & ~3;
    taps = (taps + factor - 1) / factor * factor;
    // Fewer taps per phase do not interpolate (the level comes out wrong).
    const int least = kMinTapsPerPhase * factor;
    return std::clamp(taps, least, std::max(least, kMaxTaps / factor * factor));
}

namespace
{
double Windowed(int k, int taps, int factor)
{
    const double m = taps / 2.0 - k;
    const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (m / taps + 0.5));
    const double x = 2.0 * std::numbers::pi * m * (0.5 / factor);
    const double sinc = x == 0.0 ? 1.0 : std::sin(x) / x;
    return window * sinc / factor;
}

// The windowed sinc sums to 1 when it spans many zero crossings; with few
// taps per phase it falls short, and the sum takes the level back to 1.
double Sum(int taps, int factor)
{
    double sum = 0.0;
    for (int k = 0; k < taps; ++k)
        sum += Windowed(k, taps, factor);
    return sum > 0.0 ? sum : 1.0;
}
} // namespace

double OversamplerFir::Coefficient(int k, int taps, int factor)
{
    return Windowed(k, taps, factor) / Sum(taps, factor);
}

void OversamplerFir::FillTables(int taps, int factor, float* plain, float* polyphase)
{
    const int branchLength = taps / factor;
    const double sum = Sum(taps, factor);
    for (int k = 0; k < taps; ++k)
        plain[k] = static_cast<float>(Windowed(k, taps, factor) / sum);
    // Branch p holds taps p, p + factor, ... scaled by the factor for the
    // zero-stuffed samples it stands in for.
    for (int p = 0; p < factor; ++p)
        for (int j = 0; j < branchLength; ++j)
            polyphase[p * branchLength + j] = static_cast<float>(factor) * plain[p + j * factor];
}

void OversamplerFir::Init(int setting, int factor, const float* sharedPlain, const float* sharedPolyphase)
{
    factor = std::max(1, factor);
    taps_ = TapCount(setting, factor);
    branchLength_ = taps_ / factor;
    if (sharedPlain && sharedPolyphase)
    {
        plain_ = sharedPlain;
        polyphase_ = sharedPolyphase;
    }
    else
    {
        ownPlain_.resize(static_cast<size_t>(taps_));
        ownPolyphase_.resize(static_cast<size_t>(taps_));
        FillTables(taps_, factor, ownPlain_.data(), ownPolyphase_.data());
        plain_ = ownPlain_.data();
        polyphase_ = ownPolyphase_.data();
    }
    int size = 2;
    while (size < taps_)
        size *= 2;
    history_.assign(static_cast<size_t>(size), 0.0f);
    mask_ = size - 1;
    write_ = 0;
}

void OversamplerFir::Reset()
{
    std::fill(history_.begin(), history_.end(), 0.0f);
    write_ = 0;
}
