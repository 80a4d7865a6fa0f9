#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_filter_allpass.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_filter_allpass>;
constexpr double kRate = 44100.0;
constexpr double kPi = 3.141592653589793;

struct Coefficients
{
    double a1;
    double b;
};

// a1 = 2 cos(2 pi fn) e^(-pi fn R), b = e^(-2 pi fn R), in double precision.
Coefficients Reference(double pitch, double resonance, bool kHz = false)
{
    const double R = std::min(4.0, std::max(0.5, resonance * 1.5 + 0.5));
    const double hz = kHz ? pitch * 10000.0 : 440.0 * std::pow(2.0, pitch * 10.0 - 5.0);
    const double fn = std::min(0.5, hz / kRate);
    return {2.0 * std::cos(2.0 * kPi * fn) * std::exp(-kPi * fn * R), std::exp(-2.0 * kPi * fn * R)};
}

Rig MakeRig()
{
    return Rig(L"All Pass", {ug_filter_allpass::PN_SIGNAL, ug_filter_allpass::PN_PITCH,
                             ug_filter_allpass::PN_RESONANCE},
               ug_filter_allpass::PN_OUTPUT);
}

float Noise(int64_t t)
{
    uint32_t x = static_cast<uint32_t>(t) * 2654435761u + 99u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<float>(x & 0xFFFF) / 65536.0f - 0.5f;
}
} // namespace

TEST(AllPassRegistration, TheModuleIsRegisteredWithFivePins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"All Pass");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 5u);
    EXPECT_EQ(info->GetRegistrationNumber1(), 467);
    EXPECT_EQ(info->getPinDescriptionById(2)->GetName(), L"Resonance");
    EXPECT_EQ(info->getPinDescriptionById(4)->GetFlags(), 0x40001u);
}

TEST(AllPassCoefficients, WidthFollowsResonanceWithinItsLimits)
{
    EXPECT_FLOAT_EQ(ug_filter_allpass::Width(-0.4f), 0.5f);
    EXPECT_FLOAT_EQ(ug_filter_allpass::Width(0.5f), 1.25f);
    EXPECT_FLOAT_EQ(ug_filter_allpass::Width(1.0f), 2.0f);
    EXPECT_LT(ug_filter_allpass::Width(2.3f), 4.0f);
    EXPECT_FLOAT_EQ(ug_filter_allpass::Width(2.34f), 4.0f);
    EXPECT_FLOAT_EQ(ug_filter_allpass::Width(std::numeric_limits<float>::quiet_NaN()), 0.5f);
}

TEST(AllPassCoefficients, TableAndDirectPathsAgreeWithTheFormula)
{
    Rig rig = MakeRig();
    ug_filter_allpass& f = *rig.module;
    for (float pitch : {-0.3f, -0.0001f, 0.0001f, 0.4f, 0.7f, 0.95f})
    {
        for (float resonance : {0.0f, 0.5f, 1.0f})
        {
            f.CalcCoefficients<false>(pitch, resonance);
            const Coefficients c = Reference(pitch, resonance);
            EXPECT_NEAR(f.A1(), c.a1, 2e-4) << pitch << " " << resonance;
            EXPECT_NEAR(f.B(), c.b, 2e-4) << pitch << " " << resonance;
        }
    }
    // Above the Nyquist frequency fn is 0.5.
    f.CalcCoefficients<false>(1.5f, 0.5f);
    EXPECT_NEAR(f.A1(), -2.0 * std::exp(-kPi * 0.5 * 1.25), 2e-4);
    f.CalcCoefficients<true>(0.2f, 0.5f);
    EXPECT_NEAR(f.B(), Reference(0.2, 0.5, true).b, 2e-4);
}

TEST(AllPassFiltering, ASineKeepsItsAmplitudeAtAnyFrequency)
{
    for (double hz : {100.0, 1000.0, 8000.0})
    {
        Rig rig = MakeRig();
        rig.In(ug_filter_allpass::PN_PITCH).HoldConstant(0.5f);
        rig.In(ug_filter_allpass::PN_RESONANCE).HoldConstant(0.3f);
        rig.In(ug_filter_allpass::PN_SIGNAL).Stream(
            [hz](int64_t t) { return static_cast<float>(0.5 * std::sin(2.0 * kPi * hz * t / kRate)); });
        rig.graph.Run(44100);
        double peak = 0.0;
        for (size_t n = 22050; n < rig.recorder->audio.size(); ++n)
            peak = std::max(peak, static_cast<double>(std::fabs(rig.recorder->audio[n])));
        EXPECT_NEAR(peak, 0.5, 2e-3) << hz;
    }
}

TEST(AllPassFiltering, TheOutputFollowsTheDifferenceEquation)
{
    Rig rig = MakeRig();
    rig.In(ug_filter_allpass::PN_PITCH).HoldConstant(0.6f);
    rig.In(ug_filter_allpass::PN_RESONANCE).HoldConstant(0.8f);
    rig.In(ug_filter_allpass::PN_SIGNAL).Stream(Noise);
    rig.graph.Run(3000);
    const Coefficients c = Reference(0.6, 0.8);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (int n = 0; n < 3000; ++n)
    {
        const double x = Noise(n);
        const double y = c.b * x - c.a1 * x1 + x2 + c.a1 * y1 - c.b * y2;
        ASSERT_NEAR(rig.recorder->audio[n], y, 2e-3) << n;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
    }
}

TEST(AllPassSettling, AConstantInputPassesAtUnitGainAndTheFilterSleeps)
{
    Rig rig = MakeRig();
    rig.In(ug_filter_allpass::PN_PITCH).HoldConstant(0.5f);
    rig.In(ug_filter_allpass::PN_RESONANCE).HoldConstant(0.5f);
    rig.In(ug_filter_allpass::PN_SIGNAL).Stream(Noise);
    rig.graph.Run(960);
    rig.In(ug_filter_allpass::PN_SIGNAL).HoldConstant(0.3f);
    rig.graph.Run(static_cast<int>(kRate * 3));
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.3f);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_EQ(kvtest::CountPending(*rig.module, UET_RUN_DELAYED), 0);
}

TEST(AllPassRobustness, AtZeroHertzAConstantInputStillPassesUnchangedAfterMinutes)
{
    // At 0 Hz the poles would sit on the unit circle and the state would grow without end.
    Rig rig = MakeRig();
    rig.In(ug_filter_allpass::PN_PITCH).HoldConstant(0.0f);
    rig.In(ug_filter_allpass::PN_RESONANCE).HoldConstant(0.0f);
    rig.SetEnum(ug_filter_allpass::PN_FREQ_SCALE, ug_filter_allpass::FS_VOLT_PER_KHZ);
    rig.In(ug_filter_allpass::PN_SIGNAL).Stream([](int64_t) { return 0.3f; });
    rig.graph.Run(static_cast<int>(kRate * 120));
    EXPECT_NEAR(rig.recorder->audio.back(), 0.3f, 1e-4);
    EXPECT_TRUE(std::isfinite(rig.module->W1()));
}

TEST(AllPassRobustness, ExtremeInputsAndControlsGiveFiniteOutputs)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Rig rig = MakeRig();
    auto wild = [=](int64_t t) {
        const float values[] = {nan, inf, -inf, 1e30f, -3.0f, 20.0f};
        return values[(t / 41) % 6];
    };
    rig.In(ug_filter_allpass::PN_SIGNAL).Stream([=](int64_t t) { return t % 7 == 0 ? wild(t) : Noise(t); });
    rig.In(ug_filter_allpass::PN_PITCH).Stream(wild);
    rig.In(ug_filter_allpass::PN_RESONANCE).Stream(wild);
    rig.graph.Run(20000);
    rig.SetEnum(ug_filter_allpass::PN_FREQ_SCALE, ug_filter_allpass::FS_VOLT_PER_KHZ);
    rig.graph.Run(20000);
    for (float y : rig.recorder->audio)
        ASSERT_TRUE(std::isfinite(y));
}
