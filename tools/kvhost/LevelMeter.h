#pragma once
// Peak and RMS level over everything rendered, all channels together.

#include <cstdint>

class LevelMeter
{
public:
    void add(const float* const* channels, int numChannels, int frames);

    double peak() const { return peak_; }
    double rms() const;
    std::uint64_t samples() const { return samples_; }

    // Decibels relative to full scale; silence gives minus infinity.
    static double ToDbfs(double linear);

private:
    double peak_ = 0.0;
    double sumOfSquares_ = 0.0;
    std::uint64_t samples_ = 0;
};
