#include "engine/ug_oversampler_fir.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int OversamplerFir::TapCount(int setting, int factor)
{
    factor = std::max(1, factor);
    int taps = std::clamp(setting, 4, kMaxTaps) & ~3;
    taps = (taps + factor - 1) / factor * factor;
    return std::min(taps, kMaxTaps / factor * factor);
}

double OversamplerFir::Coefficient(int k, int taps, int factor)
{
    const double m = taps / 2.0 - k;
    const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (m / taps + 0.5));
    const double x = 2.0 * std::numbers::pi * m * (0.5 / factor);
    const double sinc = x == 0.0 ? 1.0 : std::sin(x) / x;
    return window * sinc / factor;
}

void OversamplerFir::Init(int setting, int factor)
{
    factor = std::max(1, factor);
    taps_ = TapCount(setting, factor);
    branchLength_ = taps_ / factor;
    coefficients_.resize(static_cast<size_t>(taps_));
    polyphase_.resize(static_cast<size_t>(taps_));
    for (int k = 0; k < taps_; ++k)
        coefficients_[static_cast<size_t>(k)] = static_cast<float>(Coefficient(k, taps_, factor));
    // Branch p holds taps p, p + factor, ... scaled by the factor for the
    // zero-stuffed samples it stands in for.
    for (int p = 0; p < factor; ++p)
        for (int j = 0; j < branchLength_; ++j)
            polyphase_[static_cast<size_t>(p * branchLength_ + j)] =
                static_cast<float>(factor) * coefficients_[static_cast<size_t>(p + j * factor)];
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
