#pragma once
// Logic levels shared by the gates, counters, shift register and monostable:
// inputs pass a Schmitt trigger with hysteresis, outputs are 5 V or 0 V.

namespace logic_levels
{
// An input that is low goes high above this (3.33 V).
constexpr float kHighThreshold = 0.33333334f;
// An input that is high goes low below this (1.67 V).
constexpr float kLowThreshold = 0.16666667f;
constexpr float kHigh = 0.5f;
constexpr float kLow = 0.0f;

// The new level of an input. Values between the thresholds, the thresholds
// themselves and NaN leave it unchanged.
inline bool Schmitt(bool level, float value)
{
    return level ? !(value < kLowThreshold) : value > kHighThreshold;
}

inline float OutputOf(bool high)
{
    return high ? kHigh : kLow;
}
} // namespace logic_levels
