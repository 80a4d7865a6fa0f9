#include "tools/kvhost/LevelMeter.h"

#include <cmath>
#include <limits>

void LevelMeter::add(const float* const* channels, int numChannels, int frames)
{
    for (int c = 0; c < numChannels; ++c)
    {
        if (!channels[c])
            continue;
        for (int i = 0; i < frames; ++i)
        {
            const double sample = channels[c][i];
            peak_ = std::fmax(peak_, std::fabs(sample));
            sumOfSquares_ += sample * sample;
        }
    }
    if (numChannels > 0 && frames > 0)
        samples_ += static_cast<std::uint64_t>(numChannels) * static_cast<std::uint64_t>(frames);
}

double LevelMeter::rms() const
{
    return samples_ == 0 ? 0.0 : std::sqrt(sumOfSquares_ / static_cast<double>(samples_));
}

double LevelMeter::ToDbfs(double linear)
{
    if (!(linear > 0.0))
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(linear);
}
