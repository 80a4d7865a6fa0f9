#pragma once
// The anti-imaging and anti-aliasing low-pass of an oversampler border: a
// cascade of three direct-form II biquad sections, one design for factor 2
// and one for higher factors. Both have unity gain at DC.

#include <array>

class OversamplerFilter
{
public:
    static constexpr int kSections = 3;

    struct Section
    {
        float a1, a2, b0, b1, b2;
    };

    // Picks the section design for the factor and clears the state.
    void Init(int factor);
    void Reset();

    float Process(float x)
    {
        for (int s = 0; s < kSections; ++s)
        {
            const Section& c = *coefficients_[s];
            State& st = state_[s];
            const float w = x - c.a1 * st.w1 - c.a2 * st.w2;
            x = c.b0 * w + c.b1 * st.w1 + c.b2 * st.w2;
            st.w2 = st.w1;
            st.w1 = w;
        }
        return x;
    }

    // Flushes a state that has been driven to infinity or NaN.
    void Sanitize();

    static const Section* Design(int factor);

private:
    struct State
    {
        float w1 = 0.0f;
        float w2 = 0.0f;
    };
    std::array<const Section*, kSections> coefficients_{};
    std::array<State, kSections> state_{};
};
