#include "engine/ug_oversampler_filter.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr OversamplerFilter::Section kFactor2[OversamplerFilter::kDesignSections] = {
    {-0.24094f, 0.936528f, 0.113756f, 0.0559434f, 0.113756f},
    {-0.48179f, 0.628371f, 1.0f, -0.0385096f, 1.0f},
    {-0.428028f, 0.0f, 1.0f, 1.0f, 0.0f},
};
constexpr OversamplerFilter::Section kFactorOther[OversamplerFilter::kDesignSections] = {
    {-1.46733f, 0.957215f, 0.0409441f, -0.0437547f, 0.0409441f},
    {-1.43939f, 0.758604f, 1.0f, -1.39915f, 1.0f},
    {-0.706963f, 0.0f, 1.0f, 1.0f, 0.0f},
};
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
        const Section& c = design[DesignRow(s, count_)];
        coefficients_[static_cast<unsigned>(s)] = c;
        dc *= (static_cast<double>(c.b0) + c.b1 + c.b2) / (1.0 + c.a1 + c.a2);
    }
    // A part of the design has its own level: the first section takes it back to 1.
    Section& first = coefficients_[0];
    const auto scale = static_cast<float>(1.0 / dc);
    first.b0 *= scale;
    first.b1 *= scale;
    first.b2 *= scale;
    Reset();
}

void OversamplerFilter::Reset()
{
    state_.fill(State{});
}

void OversamplerFilter::Sanitize()
{
    for (State& st : state_)
    {
        if (!std::isfinite(st.w1) || !std::isfinite(st.w2))
            st = State{};
    }
}
