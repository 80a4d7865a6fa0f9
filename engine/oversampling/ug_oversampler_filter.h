#pragma once
// The anti-imaging and anti-aliasing low-pass of an oversampler border: a
// cascade of direct-form II biquad sections taken from a three-section
// design, one for factor 2 and one for factor 4. The filter setting chooses
// the length, (setting + 1) / 2 sections: fewer than three keep the design's
// gentle last sections (its first, high-Q one alone would ring well above
// unity at the band edge), more than three repeat them after the whole
// design. Other factors use the factor-4 design moved (a low-pass to
// low-pass transform) so that its edge sits at the host's Nyquist again.
// Whatever the length and factor, the cascade has unity gain at DC. It runs
// in double precision: at high factors the poles crowd towards DC.

#include <array>
#include <type_traits>

class OversamplerFilter
{
public:
    // The sections of one design.
    static constexpr int kDesignSections = 3;
    // The longest cascade a setting asks for (settings 9 and 10).
    static constexpr int kMaxSections = 5;

    struct Section
    {
        double a1, a2, b0, b1, b2;
    };

    // Sections for an IIR filter setting (1 to 10; below 1 counts as 1).
    static int SectionCount(int setting);
    // Row of the design that section `s` of a cascade of `sections` uses.
    static int DesignRow(int s, int sections);

    // Picks the sections for the factor and length and clears the state.
    void Init(int factor, int sections = kDesignSections);
    void Reset();
    int Sections() const { return count_; }
    const Section& SectionAt(int s) const { return coefficients_[static_cast<unsigned>(s)]; }

    // Any length; the loops of the border modules pick the length once
    // (WithLength) and run ProcessN.
    float Process(float input)
    {
        float y = 0.0f;
        WithLength(count_, [&](auto n) { y = ProcessN<decltype(n)::value>(input); });
        return y;
    }

    // Runs a cascade of N sections (N = Sections()).
    template <int N>
    float ProcessN(float input)
    {
        double x = input;
        for (int s = 0; s < N; ++s)
        {
            const Section& c = coefficients_[static_cast<unsigned>(s)];
            State& st = state_[static_cast<unsigned>(s)];
            const double w = x - c.a1 * st.w1 - c.a2 * st.w2;
            x = c.b0 * w + c.b1 * st.w1 + c.b2 * st.w2;
            st.w2 = st.w1;
            st.w1 = w;
        }
        return static_cast<float>(x);
    }

    // Calls f(std::integral_constant<int, sections>) for 1 to kMaxSections.
    template <class F>
    static void WithLength(int sections, F&& f)
    {
        switch (sections)
        {
        case 1:
            f(std::integral_constant<int, 1>{});
            break;
        case 2:
            f(std::integral_constant<int, 2>{});
            break;
        case 3:
            f(std::integral_constant<int, 3>{});
            break;
        case 4:
            f(std::integral_constant<int, 4>{});
            break;
        default:
            f(std::integral_constant<int, kMaxSections>{});
            break;
        }
    }

    // The three sections of the design for a factor as written (factor 2,
    // else the factor-4 design).
    static const Section* Design(int factor);

private:
    struct State
    {
        double w1 = 0.0;
        double w2 = 0.0;
    };
    std::array<Section, kMaxSections> coefficients_{};
    std::array<State, kMaxSections> state_{};
    int count_ = 0;
};
