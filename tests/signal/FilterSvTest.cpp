#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_filter_sv.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_filter_sv>;
constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;

double Limit(int i)
{
    return (0.009 * i + 2.5e-5 * i * i + 7.8) * 0.1;
}

// Frequency factor of a pitch in 1 Volt/Octave, before the resonance limit.
double Unlimited(double pitch)
{
    return std::min(0.5 * kRate, 440.0 * std::pow(2.0, pitch * 10.0 - 5.0)) * kTwoPi / kRate;
}

// Frequency factor of a static pitch and resonance, in double precision.
double Factor(double pitch, double resonance)
{
    const double r = std::min(0.9992, std::max(0.0, resonance));
    return std::min(Limit(static_cast<int>(r * 512)), Unlimited(pitch));
}

float Noise(int64_t t)
{
    uint32_t x = static_cast<uint32_t>(t) * 2654435761u + 777u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<float>(x & 0xFFFF) / 65536.0f - 0.5f;
}

Rig MakeRig(int outputPin)
{
    return Rig(L"SV Filter", {ug_filter_sv::PN_SIGNAL, ug_filter_sv::PN_PITCH, ug_filter_sv::PN_RESONANCE},
               outputPin);
}

// Runs the Chamberlin recursion in double precision on the noise input and
// compares the chosen output with the recording.
template <class FactorAt>
void ExpectFilterLaw(const Rig& rig, int outputPin, int samples, FactorAt factorAt, double q, double tolerance)
{
    ASSERT_GE(rig.recorder->audio.size(), static_cast<size_t>(samples));
    double l = 0.0;
    double b = 0.0;
    for (int n = 0; n < samples; ++n)
    {
        const double F = factorAt(n);
        l += F * b;
        const double h = Noise(n) - q * b - l;
        b += F * h;
        const double expected = outputPin == ug_filter_sv::PN_LOW_PASS    ? l
                                : outputPin == ug_filter_sv::PN_HI_PASS   ? h
                                : outputPin == ug_filter_sv::PN_BAND_PASS ? b
                                                                          : h + l;
        ASSERT_NEAR(rig.recorder->audio[n], expected, tolerance) << n;
    }
}
} // namespace

TEST(SvFilterRegistration, TheModuleIsRegisteredWithEightPins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"SV Filter");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 8u);
    EXPECT_EQ(info->GetRegistrationNumber1(), 412);
    EXPECT_EQ(info->getPinDescriptionById(6)->GetName(), L"Band Reject");
    EXPECT_EQ(info->getPinDescriptionById(7)->GetEnumList(), L"1 Volt/Octave, 1 Volt/kHz ");
    EXPECT_EQ(info->getPinDescriptionById(7)->GetFlags(), 0x40001u);
}

TEST(SvFilterCoefficients, ResonanceSetsDampingAndTheStabilityLimit)
{
    Rig rig = MakeRig(ug_filter_sv::PN_LOW_PASS);
    EXPECT_NEAR(ug_filter_sv::CalcQ(1.0f), 0.0016, 1e-6);
    EXPECT_FLOAT_EQ(ug_filter_sv::CalcQ(-0.3f), 2.0f);
    EXPECT_FLOAT_EQ(ug_filter_sv::CalcQ(std::numeric_limits<float>::quiet_NaN()), 2.0f);
    EXPECT_NEAR(rig.module->CalcMSF(1.0f), Limit(511), 1e-6);
    EXPECT_NEAR(rig.module->CalcMSF(0.0f), 0.78, 1e-6);
    EXPECT_NEAR(ug_filter_sv::LimitEntry(512), Limit(512), 1e-5);

    for (float pitch : {0.0f, 0.3f, 0.5f + 0.25f / 512, 0.99f})
        EXPECT_NEAR(rig.module->CalcFreqFactor<false>(pitch), Unlimited(pitch), 2e-5) << pitch;
    // Above 10 V the factor stays at the 10 V value; negative pitches are worked out.
    EXPECT_EQ(rig.module->CalcFreqFactor<false>(1.2f), rig.module->CalcFreqFactor<false>(1.0f));
    EXPECT_NEAR(rig.module->CalcFreqFactor<false>(-0.2f), 440.0 * std::pow(2.0, -7.0) * kTwoPi / kRate, 1e-7);
    EXPECT_NEAR(rig.module->CalcFreqFactor<true>(0.1f), 1000.0 * kTwoPi / kRate, 1e-6);
}

TEST(SvFilterFiltering, EveryOutputFollowsTheRecursionWithStaticControls)
{
    for (int pin : {ug_filter_sv::PN_LOW_PASS, ug_filter_sv::PN_HI_PASS, ug_filter_sv::PN_BAND_PASS,
                    ug_filter_sv::PN_BAND_REJECT})
    {
        Rig rig = MakeRig(pin);
        rig.In(ug_filter_sv::PN_PITCH).HoldConstant(0.6f);
        rig.In(ug_filter_sv::PN_RESONANCE).HoldConstant(0.7f);
        rig.In(ug_filter_sv::PN_SIGNAL).Stream(Noise);
        rig.graph.Run(2000);
        const double F = Factor(0.6, 0.7);
        ExpectFilterLaw(rig, pin, 2000, [F](int) { return F; }, 2.0 - 1.4, 2e-4);
    }
}

TEST(SvFilterFiltering, AStreamingPitchAboveTheLimitIsHeldAtTheLimit)
{
    for (int pin : {ug_filter_sv::PN_LOW_PASS, ug_filter_sv::PN_BAND_PASS})
    {
        Rig rig = MakeRig(pin);
        auto pitchAt = [](int64_t t) { return 0.3f + 0.9f * static_cast<float>(t) / 1500.0f; };
        rig.In(ug_filter_sv::PN_RESONANCE).HoldConstant(0.95f);
        rig.In(ug_filter_sv::PN_PITCH).Stream(pitchAt);
        rig.In(ug_filter_sv::PN_SIGNAL).Stream(Noise);
        rig.graph.Run(1500);
        ExpectFilterLaw(rig, pin, 1500, [&](int n) { return Factor(pitchAt(n), 0.95); }, 2.0 - 1.9, 5e-3);
    }
}

TEST(SvFilterSettling, AStaticInputSettlesHoldsTheInputAndSleeps)
{
    for (int pin : {ug_filter_sv::PN_LOW_PASS, ug_filter_sv::PN_HI_PASS, ug_filter_sv::PN_BAND_REJECT})
    {
        Rig rig = MakeRig(pin);
        rig.In(ug_filter_sv::PN_PITCH).HoldConstant(0.5f);
        rig.In(ug_filter_sv::PN_RESONANCE).HoldConstant(0.5f);
        rig.In(ug_filter_sv::PN_SIGNAL).Stream(Noise);
        rig.graph.Run(960);
        rig.In(ug_filter_sv::PN_SIGNAL).HoldConstant(0.2f);
        rig.graph.Run(static_cast<int>(kRate * 2.5));

        EXPECT_FALSE(rig.module->IsListed()) << pin;
        EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
        EXPECT_FLOAT_EQ(rig.recorder->audio.back(), pin == ug_filter_sv::PN_HI_PASS ? 0.0f : 0.2f);
        EXPECT_EQ(kvtest::CountPending(*rig.module, UET_RUN_DELAYED), 0);
    }
}

TEST(SvFilterCoefficients, AZeroKilohertzPitchKeepsASmallStoredFactor)
{
    Rig rig = MakeRig(ug_filter_sv::PN_LOW_PASS);
    rig.In(ug_filter_sv::PN_PITCH).HoldConstant(0.0f);
    rig.In(ug_filter_sv::PN_RESONANCE).HoldConstant(0.5f);
    rig.SetEnum(ug_filter_sv::PN_FREQ_SCALE, ug_filter_sv::FS_VOLT_PER_KHZ);
    rig.graph.Run(96);
    EXPECT_FLOAT_EQ(rig.module->Factor(), 1e-5f);
    EXPECT_FLOAT_EQ(rig.module->Damping(), 1.0f);
}

TEST(SvFilterRobustness, ExtremeInputsAndControlsGiveFiniteOutputs)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Rig rig = MakeRig(ug_filter_sv::PN_BAND_REJECT);
    auto wild = [=](int64_t t) {
        const float values[] = {nan, inf, -inf, 1e30f, -3.0f, 20.0f};
        return values[(t / 37) % 6];
    };
    rig.In(ug_filter_sv::PN_SIGNAL).Stream([=](int64_t t) { return t % 5 == 0 ? wild(t) : Noise(t); });
    rig.In(ug_filter_sv::PN_PITCH).Stream(wild);
    rig.In(ug_filter_sv::PN_RESONANCE).Stream(wild);
    rig.graph.Run(20000);
    rig.SetEnum(ug_filter_sv::PN_FREQ_SCALE, ug_filter_sv::FS_VOLT_PER_KHZ);
    rig.graph.Run(20000);
    for (float y : rig.recorder->audio)
        ASSERT_TRUE(std::isfinite(y));

    // A negative frequency in 1 Volt/kHz stops the filter instead of letting it grow.
    Rig khz = MakeRig(ug_filter_sv::PN_LOW_PASS);
    khz.In(ug_filter_sv::PN_RESONANCE).HoldConstant(0.9f);
    khz.In(ug_filter_sv::PN_PITCH).Stream([](int64_t) { return -0.5f; });
    khz.In(ug_filter_sv::PN_SIGNAL).Stream(Noise);
    khz.SetEnum(ug_filter_sv::PN_FREQ_SCALE, ug_filter_sv::FS_VOLT_PER_KHZ);
    khz.graph.Run(40000);
    EXPECT_LT(std::fabs(khz.recorder->audio.back()), 1.0f);
}
