#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_filter_biquad.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_filter_biquad>;
constexpr double kRate = 44100.0;
constexpr double kPi = 3.141592653589793;

double CutoffOf(double pitch)
{
    return 440.0 * std::pow(2.0, pitch * 10.0 - 5.0);
}
double KOf(double F)
{
    return -1.6 * F * F + 3.6 * F - 1.0;
}
double ScaleOf(double F)
{
    return std::exp((1.0 - (KOf(F) + 1.0) * 0.5) * 1.386249);
}

// Gain of the ladder at hz: four stages p(1 + z^-1) / (1 + k z^-1) closed by
// feedback of the previous output, rez z^-1.
double LadderGain(double hz, double F, double rez)
{
    const double k = KOf(F);
    const double p = (k + 1.0) * 0.5;
    const std::complex<double> zi = std::polar(1.0, -2.0 * kPi * hz / kRate);
    const std::complex<double> stage = p * (1.0 + zi) / (1.0 + k * zi);
    const std::complex<double> four = stage * stage * stage * stage;
    return std::abs(four / (1.0 + rez * zi * four));
}

Rig MakeRig()
{
    return Rig(L"Moog Filter",
               {ug_filter_biquad::PN_SIGNAL, ug_filter_biquad::PN_PITCH, ug_filter_biquad::PN_RESONANCE,
                ug_filter_biquad::PN_BOOST_CUT},
               ug_filter_biquad::PN_OUTPUT);
}

float Noise(int64_t t)
{
    uint32_t x = static_cast<uint32_t>(t) * 2654435761u + 4242u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<float>(x & 0xFFFF) / 65536.0f - 0.5f;
}

// Peak output over the second half of one second of a small sine at hz.
double SinePeak(float pitch, float resonance, double hz)
{
    Rig rig = MakeRig();
    rig.In(ug_filter_biquad::PN_PITCH).HoldConstant(pitch);
    rig.In(ug_filter_biquad::PN_RESONANCE).HoldConstant(resonance);
    rig.In(ug_filter_biquad::PN_SIGNAL).Stream(
        [hz](int64_t t) { return static_cast<float>(0.01 * std::sin(2.0 * kPi * hz * t / kRate)); });
    rig.graph.Run(44100);
    double peak = 0.0;
    for (size_t n = 22050; n < rig.recorder->audio.size(); ++n)
        peak = std::max(peak, static_cast<double>(std::fabs(rig.recorder->audio[n])));
    return peak / 0.01;
}
} // namespace

TEST(LadderRegistration, TheModuleIsRegisteredWithItsUnusedPinsPrivate)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Moog Filter");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 7u);
    EXPECT_EQ(info->GetRegistrationNumber1(), 448);
    EXPECT_EQ(info->getPinDescriptionById(4)->GetEnumList(), L"4 Pole LP");
    EXPECT_EQ(info->getPinDescriptionById(4)->GetFlags(), 0x100u);
    EXPECT_EQ(info->getPinDescriptionById(5)->GetFlags(), 0x101u);
    EXPECT_EQ(info->getPinDescriptionById(6)->GetFlags(), 0x40001u);
}

TEST(LadderCoefficients, TablesAndDirectPathFollowTheCutoffFormulas)
{
    Rig rig = MakeRig();
    ug_filter_biquad& f = *rig.module;
    for (float pitch : {0.1f, 0.45f, 0.8f})
    {
        const double F = 2.0 * CutoffOf(pitch) / kRate;
        f.freq_change<false>(pitch, 0.5f);
        EXPECT_NEAR(f.K(), KOf(F), 2e-4) << pitch;
        EXPECT_NEAR(f.P(), (KOf(F) + 1.0) * 0.5, 1e-4) << pitch;
        EXPECT_NEAR(f.Scale(), ScaleOf(F), 5e-4) << pitch;
        EXPECT_NEAR(f.Rez(), ScaleOf(F) * 0.5, 5e-4) << pitch;
    }
    // Above 10 V the last entry is used.
    f.freq_change<false>(1.1f, 0.0f);
    EXPECT_NEAR(f.K(), KOf(2.0 * CutoffOf(1.0) / kRate), 1e-6);
    EXPECT_EQ(f.Rez(), 0.0f);
    // Negative pitches and 1 Volt/kHz are worked out, limited at 0.495 of the rate.
    f.freq_change<false>(-0.2f, 0.5f);
    EXPECT_NEAR(f.K(), KOf(2.0 * CutoffOf(-0.2) / kRate), 1e-6);
    f.freq_change<true>(0.2f, 0.5f);
    EXPECT_NEAR(f.K(), KOf(4000.0 / kRate), 1e-5);
    f.freq_change<true>(5.0f, 0.5f);
    EXPECT_NEAR(f.K(), KOf(0.99), 1e-5);
    // A negative frequency is taken as 0 Hz: the stages hold instead of growing.
    f.freq_change<true>(-0.2f, 0.5f);
    EXPECT_EQ(f.K(), -1.0f);
    EXPECT_EQ(f.P(), 0.0f);
}

TEST(LadderFiltering, WithoutResonanceItIsAFourPoleLowPass)
{
    const double cutoff = CutoffOf(0.5);
    const double F = 2.0 * cutoff / kRate;
    for (double hz : {cutoff * 0.25, cutoff, cutoff * 2.0})
        EXPECT_NEAR(SinePeak(0.5f, 0.0f, hz), LadderGain(hz, F, 0.0), 0.01 * LadderGain(hz, F, 0.0) + 1e-4) << hz;
}

TEST(LadderFiltering, ResonanceFeedsTheLastStageBackToTheInput)
{
    const double cutoff = CutoffOf(0.5);
    const double F = 2.0 * cutoff / kRate;
    const double rez = ScaleOf(F) * 0.6;
    for (double hz : {cutoff * 0.5, cutoff, cutoff * 1.5})
        EXPECT_NEAR(SinePeak(0.5f, 0.6f, hz), LadderGain(hz, F, rez), 0.02 * LadderGain(hz, F, rez)) << hz;
}

TEST(LadderFiltering, ModeAndBoostCutChangeNothing)
{
    Rig plain = MakeRig();
    Rig fiddled = MakeRig();
    for (Rig* rig : {&plain, &fiddled})
    {
        rig->In(ug_filter_biquad::PN_PITCH).HoldConstant(0.6f);
        rig->In(ug_filter_biquad::PN_RESONANCE).HoldConstant(0.7f);
        rig->In(ug_filter_biquad::PN_SIGNAL).Stream(Noise);
    }
    fiddled.In(ug_filter_biquad::PN_BOOST_CUT).Stream([](int64_t t) { return Noise(t + 5); });
    fiddled.SetEnum(ug_filter_biquad::PN_MODE, 3);
    plain.graph.Run(3000);
    fiddled.graph.Run(3000);
    EXPECT_EQ(plain.recorder->audio, fiddled.recorder->audio);
}

TEST(LadderSettling, AStaticZeroInputAfterSoundFlushesAndSleepsWithTheOutputStopped)
{
    Rig rig = MakeRig();
    rig.In(ug_filter_biquad::PN_PITCH).HoldConstant(0.6f);
    rig.In(ug_filter_biquad::PN_RESONANCE).HoldConstant(0.5f);
    rig.In(ug_filter_biquad::PN_SIGNAL).Stream(Noise);
    rig.graph.Run(4800);
    rig.In(ug_filter_biquad::PN_SIGNAL).HoldConstant(0.0f);
    rig.graph.Run(static_cast<int>(kRate));
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.module->Y4(), 0.0f);
    EXPECT_EQ(rig.recorder->audio.back(), 0.0f);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_EQ(kvtest::CountPending(*rig.module, UET_RUN_DELAYED), 0);

    // Sound again wakes it.
    rig.In(ug_filter_biquad::PN_SIGNAL).Stream(Noise);
    rig.graph.Run(960);
    EXPECT_TRUE(rig.module->IsListed());
    EXPECT_NE(rig.recorder->audio.back(), 0.0f);
}

TEST(LadderRobustness, ExtremeInputsGiveFiniteOrZeroOutputsAndAnInnerNanIsCleared)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Rig rig = MakeRig();
    auto wild = [=](int64_t t) {
        const float values[] = {nan, inf, -inf, 1e30f, -3.0f, 20.0f};
        return values[(t / 43) % 6];
    };
    rig.In(ug_filter_biquad::PN_SIGNAL).Stream([=](int64_t t) { return t % 5 == 0 ? wild(t) : Noise(t); });
    rig.In(ug_filter_biquad::PN_PITCH).Stream(wild);
    rig.In(ug_filter_biquad::PN_RESONANCE).Stream(wild);
    rig.graph.Run(20000);
    rig.SetEnum(ug_filter_biquad::PN_FREQ_SCALE, ug_filter_biquad::FS_VOLT_PER_KHZ);
    rig.graph.Run(20000);
    for (float y : rig.recorder->audio)
        ASSERT_TRUE(std::isfinite(y));

    // A large input drives the last stage past its limit, where it is zeroed.
    Rig large = MakeRig();
    large.In(ug_filter_biquad::PN_PITCH).HoldConstant(0.6f);
    large.In(ug_filter_biquad::PN_RESONANCE).HoldConstant(0.0f);
    large.In(ug_filter_biquad::PN_SIGNAL).Stream([](int64_t) { return 50.0f; });
    large.graph.Run(4000);
    EXPECT_EQ(large.recorder->audio.back(), 0.0f);

    Rig hidden = MakeRig();
    hidden.In(ug_filter_biquad::PN_PITCH).HoldConstant(0.6f);
    hidden.In(ug_filter_biquad::PN_RESONANCE).HoldConstant(0.3f);
    hidden.In(ug_filter_biquad::PN_SIGNAL).Stream(Noise);
    hidden.graph.Run(960);
    hidden.module->SetStages(nan, 0.0f, 0.0f, 0.0f);
    hidden.graph.Run(static_cast<int>(kRate * 1.5));
    EXPECT_TRUE(std::isfinite(hidden.module->Y1()));
    EXPECT_NE(hidden.recorder->audio.back(), 0.0f);
}
