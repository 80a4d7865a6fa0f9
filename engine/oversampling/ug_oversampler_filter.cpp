#include "engine/oversampling/ug_oversampler_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace
{
constexpr OversamplerFilter::Section kFactor2[OversamplerFilter::kDesignSections] = {
    {-0.24094, 0.936528, 0.113756, 0.0559434, 0.113756},
    {-0.48179, 0.628371, 1.0, -0.0385096, 1.0},
    {-0.428028, 0.0, 1.0, 1.0, 0.0},
};
constexpr OversamplerFilter::Section kFactorOther[OversamplerFilter::kDesignSections] = {
    {-1.46733, 0.957215, 0.0409441, -0.0437547, 0.0409441},
    {-1.43939, 0.758604, 1.0, -1.39915, 1.0},
    {-0.706963, 0.0, 1.0, 1.0, 0.0},
};

// Moves a section of the factor-4 design to another factor: z^-1 becomes
// (z^-1 - alpha) / (1 - alpha z^-1), which takes the factor-4 host Nyquist
// (a quarter of pi) to the factor's (pi / factor) and keeps DC where it is.
OversamplerFilter::Section Moved(const OversamplerFilter::Section& c, int factor)
{
    const double from = std::numbers::pi / 4.0;
    const double to = std::numbers::pi / factor;
    const double alpha = std::sin((from - to) / 2.0) / std::sin((from + to) / 2.0);
    const double aa = alpha * alpha;
    if (c.a2 == 0.0 && c.b2 == 0.0)
    {
        // First order: one factor of (1 - alpha z^-1) clears the fraction.
        const double a0 = 1.0 - alpha * c.a1;
        return {(c.a1 - alpha) / a0, 0.0, (c.b0 - alpha * c.b1) / a0, (c.b1 - alpha * c.b0) / a0, 0.0};
    }
    const double a0 = 1.0 - alpha * c.a1 + aa * c.a2;
    return {(-2.0 * alpha + (1.0 + aa) * c.a1 - 2.0 * alpha * c.a2) / a0,
            (aa - alpha * c.a1 + c.a2) / a0,
            (c.b0 - alpha * c.b1 + aa * c.b2) / a0,
            (-2.0 * alpha * c.b0 + (1.0 + aa) * c.b1 - 2.0 * alpha * c.b2) / a0,
            (aa * c.b0 - alpha * c.b1 + c.b2) / a0};
}
} // namespace

const OversamplerFilter::Section* OversamplerFilter::Design(int factor)
{
    return factor == 2 ? kFactor2 : kFactorOther;
}

int OversamplerFilter::SectionCount(int setting)
{
    return std::clamp((std::clamp(setting, 1, 2 * kMaxSections) + 1) / 2, 1, kMaxSections);
}

int OversamplerFilter::DesignRow(int s, int sections)
{
    // Past the whole design, or short of it, the design's last rows: they are
    // the low-Q ones.
    const int tail = sections > kDesignSections ? sections - kDesignSections : sections;
    const int first = sections > kDesignSections ? kDesignSections : 0;
    if (s < first)
        return s;
    return kDesignSections - tail + (s - first);
}

void OversamplerFilter::Init(int factor, int sections)
{
    count_ = std::clamp(sections, 1, kMaxSections);
    const Section* design = Design(factor);
    double dc = 1.0;
    for (int s = 0; s < count_; ++s)
    {
        const Section& row = design[DesignRow(s, count_)];
        const Section c = factor == 2 || factor == 4 ? row : Moved(row, factor);
        coefficients_[static_cast<unsigned>(s)] = c;
        dc *= (c.b0 + c.b1 + c.b2) / (1.0 + c.a1 + c.a2);
    }
    // A part of the design has its own level: the first section takes it back to 1.
    Section& first = coefficients_[0];
    const double scale = 1.0 / dc;
    first.b0 *= scale;
    first.b1 *= scale;
    first.b2 *= scale;
    Reset();
}

void OversamplerFilter::Reset()
{
    state_.fill(State{});
}
