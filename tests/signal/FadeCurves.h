#pragma once
// Reference fade and volume laws of the panner and cross fade, in double.

#include <algorithm>
#include <cmath>

namespace kvtest
{

inline double SqrtFadeEntry(int i) { return std::sqrt(i / 512.0); }
inline double SineFadeEntry(int i) { return i == 0 ? 0.0 : std::sin(i * 1.5707964 / 512.0); }

// c(t) of a fade law: law 0 linear, law 1 sine table, others square-root
// table, interpolated; all hold their end values outside 0 ... 1.
inline double FadeCurve(int law, double t)
{
    if (law == 0)
        return std::clamp(t, 0.0, 1.0);
    auto* entry = law == 1 ? &SineFadeEntry : &SqrtFadeEntry;
    if (!(t >= 0.0))
        return entry(0);
    if (t >= 1.0)
        return entry(512);
    const double p = t * 512.0;
    const int i = static_cast<int>(p);
    return entry(i) + (entry(i + 1) - entry(i)) * (p - i);
}

// The "db Curve" gain of a volume, interpolated between entries i / 400.
inline double DecibelVolume(double v)
{
    auto entry = [](int i) {
        const double x = i / 400.0;
        double g = i <= 0 ? 0.0 : std::pow(10.0, (x - 1.0) * 3.8888888 * 0.5);
        if (x < 0.1)
            g *= std::sin(x * 1.5707964 * 10.0);
        return g;
    };
    const double idx = v * 400.0;
    if (!(idx >= 0.0))
        return 0.0;
    if (idx >= 1200.0)
        return entry(1200);
    const int i = static_cast<int>(idx);
    return entry(i) + (entry(i + 1) - entry(i)) * (idx - i);
}

} // namespace kvtest
