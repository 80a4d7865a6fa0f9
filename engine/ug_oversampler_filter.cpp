#include "engine/ug_oversampler_filter.h"

#include <cmath>

namespace
{
constexpr OversamplerFilter::Section kFactor2[OversamplerFilter::kSections] = {
    {-0.24094f, 0.936528f, 0.113756f, 0.0559434f, 0.113756f},
    {-0.48179f, 0.628371f, 1.0f, -0.0385096f, 1.0f},
    {-0.428028f, 0.0f, 1.0f, 1.0f, 0.0f},
};
constexpr OversamplerFilter::Section kFactorOther[OversamplerFilter::kSections] = {
    {-1.46733f, 0.957215f, 0.0409441f, -0.0437547f, 0.0409441f},
    {-1.43939f, 0.758604f, 1.0f, -1.39915f, 1.0f},
    {-0.706963f, 0.0f, 1.0f, 1.0f, 0.0f},
};
} // namespace

const OversamplerFilter::Section* OversamplerFilter::Design(int factor)
{
    return factor == 2 ? kFactor2 : kFactorOther;
}

void OversamplerFilter::Init(int factor)
{
    const Section* design = Design(factor);
    for (int s = 0; s < kSections; ++s)
        coefficients_[s] = &design[s];
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
