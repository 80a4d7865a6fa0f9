#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_peak_det.h"
#include "modules/signal/ug_quantiser.h"
#include "modules/signal/ug_sample_hold.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
constexpr float kRate = 44100.0f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

using HoldRig = SignalRig<ug_sample_hold>;
using PeakRig = SignalRig<ug_peak_det>;
using QuantRig = SignalRig<ug_quantiser>;

HoldRig MakeHold()
{
    return HoldRig(L"Sample and Hold", {ug_sample_hold::PN_AUDIO, ug_sample_hold::PN_HOLD},
                   ug_sample_hold::PN_OUTPUT);
}
PeakRig MakePeak()
{
    return PeakRig(L"Peak Follower", {ug_peak_det::PN_SIGNAL, ug_peak_det::PN_ATTACK, ug_peak_det::PN_DECAY},
                   ug_peak_det::PN_OUTPUT);
}
QuantRig MakeQuantiser()
{
    return QuantRig(L"Quantiser", {ug_quantiser::PN_INPUT1, ug_quantiser::PN_INPUT2}, ug_quantiser::PN_OUTPUT);
}

// High for t < 20 (the module starts high, so no sample there), then low
// at exactly 0 V and high again on each window [50 + 100k, 100 + 100k).
float HoldWave(int64_t t)
{
    if (t < 20)
        return 0.5f;
    return (t / 50) % 2 == 1 ? 0.5f : 0.0f;
}
} // namespace

TEST(ModuleRegistration, SampleHoldPeakFollowerAndQuantiserAreRegisteredWithTheirPins)
{
    struct Expect { const wchar_t* id; size_t pins; const wchar_t* firstPin; };
    for (const Expect& e : {Expect{L"Sample and Hold", 3, L"Audio"}, Expect{L"Peak Follower", 4, L"Signal in"},
                            Expect{L"Quantiser", 3, L"Signal In"}})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(e.id);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->GetPinDescriptions().size(), e.pins);
        EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), e.firstPin);
    }
    EXPECT_EQ(CModuleFactory::Instance()->GetById(L"Peak Follower")->getPinDescriptionById(2)->GetDefaultVal(), L"7");
    EXPECT_EQ(CModuleFactory::Instance()->GetById(L"Quantiser")->getPinDescriptionById(1)->GetDefaultVal(), L"1");
}

TEST(SampleHold, TheOutputHoldsTheInputFromEachRisingEdgeAboveZero)
{
    HoldRig rig = MakeHold();
    rig.In(ug_sample_hold::PN_AUDIO).Stream([](int64_t t) { return 0.001f * static_cast<float>(t); });
    rig.In(ug_sample_hold::PN_HOLD).Stream(HoldWave);
    rig.graph.Run(600);
    for (int n = 1; n < 600; ++n)
    {
        const int lastEdge = n < 50 ? -1 : 50 + ((n - 50) / 100) * 100;
        const float expected = lastEdge < 0 ? 0.0f : 0.001f * static_cast<float>(lastEdge);
        ASSERT_FLOAT_EQ(rig.recorder->audio[n], expected) << n;
    }
}

TEST(SampleHold, NonFiniteOrHugeInputsAreHeldAsBoundedValues)
{
    HoldRig rig = MakeHold();
    rig.In(ug_sample_hold::PN_AUDIO).Stream([](int64_t t) {
        const int64_t k = t / 100;
        return k == 0 ? kNaN : (k == 1 ? kInf : (k == 2 ? -1e30f : 0.2f));
    });
    rig.In(ug_sample_hold::PN_HOLD).Stream(HoldWave);
    rig.graph.Run(500);
    EXPECT_EQ(rig.recorder->audio[60], 0.0f);
    EXPECT_EQ(rig.recorder->audio[160], ug_sample_hold::kLimit);
    EXPECT_EQ(rig.recorder->audio[260], -ug_sample_hold::kLimit);
    EXPECT_FLOAT_EQ(rig.recorder->audio[360], 0.2f);
}

TEST(SampleHold, StaticInputsAnnounceAStaticOutputAndSleepAfterOneBlock)
{
    HoldRig rig = MakeHold();
    rig.In(ug_sample_hold::PN_AUDIO).HoldConstant(0.3f);
    rig.In(ug_sample_hold::PN_HOLD).HoldConstant(0.0f);
    rig.graph.Run(96);
    rig.In(ug_sample_hold::PN_HOLD).HoldConstant(0.4f);
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.3f);
}

TEST(PeakFollower, TheLevelRisesAndFallsWithTheAttackAndDecayTimeConstants)
{
    PeakRig rig = MakePeak();
    const float attack = 0.1f; // 1 ms
    const float decay = 0.5f;  // 5 ms
    rig.In(ug_peak_det::PN_ATTACK).HoldConstant(attack);
    rig.In(ug_peak_det::PN_DECAY).HoldConstant(decay);
    rig.In(ug_peak_det::PN_SIGNAL).HoldConstant(-0.5f);
    rig.graph.Run(100);
    const size_t fall = rig.recorder->audio.size();
    rig.In(ug_peak_det::PN_SIGNAL).HoldConstant(0.0f);
    rig.graph.Run(100);

    const double ca = std::exp(-100.0 / (kRate * attack));
    const double cd = std::exp(-100.0 / (kRate * decay));
    const auto& out = rig.recorder->audio;
    // Each step closes the gap to |input| by the coefficient.
    for (size_t n = 2; n < 60; ++n)
        ASSERT_NEAR(out[n] - 0.5, (out[n - 1] - 0.5) * ca, 1e-6) << n;
    EXPECT_GT(out[1], 0.0f);
    EXPECT_LT(out[5], 0.45f);
    for (size_t n = fall + 1; n < fall + 99; ++n)
        ASSERT_NEAR(out[n], out[n - 1] * cd, 1e-6) << n;
    EXPECT_LT(out[fall + 98], out[fall]);
}

TEST(PeakFollower, StreamingTimesGiveTheSameCurveAndZeroTimesActAsTheMinimum)
{
    for (float attack : {0.2f, 0.0f, -1.0f, kNaN})
    {
        PeakRig rig = MakePeak();
        rig.In(ug_peak_det::PN_ATTACK).Stream([=](int64_t) { return attack; });
        rig.In(ug_peak_det::PN_DECAY).Stream([](int64_t) { return 0.3f; });
        rig.In(ug_peak_det::PN_SIGNAL).Stream([](int64_t) { return 0.8f; });
        rig.graph.Run(96);
        const double t = attack > 0.001f ? attack : 0.001;
        const double c = std::exp(-100.0 / (kRate * t));
        const auto& out = rig.recorder->audio;
        EXPECT_LT(out[1], 0.8f - 1e-4f) << attack;
        for (size_t n = 2; n < 40; ++n)
            ASSERT_NEAR(out[n] - 0.8, (out[n - 1] - 0.8) * c, 1e-5) << attack << " " << n;
    }
}

TEST(PeakFollower, AStaticInputSettlesWithinTheToleranceAndTheModuleSleeps)
{
    PeakRig rig = MakePeak();
    rig.In(ug_peak_det::PN_ATTACK).HoldConstant(0.05f);
    rig.In(ug_peak_det::PN_DECAY).HoldConstant(0.05f);
    rig.In(ug_peak_det::PN_SIGNAL).HoldConstant(0.6f);
    rig.graph.Run(96 * 20);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_NEAR(rig.module->Level(), 0.6, 1e-6);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.6f);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
}

TEST(PeakFollower, NonFiniteInputsKeepTheLevelFiniteAndBounded)
{
    PeakRig rig = MakePeak();
    rig.In(ug_peak_det::PN_ATTACK).HoldConstant(0.01f);
    rig.In(ug_peak_det::PN_DECAY).HoldConstant(0.01f);
    rig.In(ug_peak_det::PN_SIGNAL).Stream([](int64_t t) {
        return t % 3 == 0 ? kNaN : (t % 3 == 1 ? -kInf : 0.1f);
    });
    rig.graph.Run(500);
    for (float v : rig.recorder->audio)
    {
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_LE(v, ug_peak_det::kLimit);
    }
}

TEST(Quantiser, OutputsAreTheNearestMultipleOfTheStepWithTiesUpward)
{
    EXPECT_NEAR(ug_quantiser::Quantise(0.26f, 0.1f), 0.3f, 1e-6);
    EXPECT_NEAR(ug_quantiser::Quantise(-0.26f, 0.1f), -0.3f, 1e-6);
    EXPECT_NEAR(ug_quantiser::Quantise(0.25f, 0.5f), 0.5f, 1e-6);
    EXPECT_NEAR(ug_quantiser::Quantise(-0.25f, 0.5f), 0.0f, 1e-6);

    for (int pattern = 0; pattern < 3; ++pattern)
    {
        QuantRig rig = MakeQuantiser();
        auto x = [](int64_t t) { return 0.9f * std::sin(0.013f * static_cast<float>(t)); };
        auto step = [](int64_t t) { return 0.05f + 0.04f * std::sin(0.007f * static_cast<float>(t)); };
        if (pattern == 2)
            rig.In(0).HoldConstant(0.37f);
        else
            rig.In(0).Stream(x);
        if (pattern == 1)
            rig.In(1).HoldConstant(0.12f);
        else
            rig.In(1).Stream(step);
        rig.graph.Run(400);
        for (int n = 1; n < 400; ++n)
        {
            const double xv = pattern == 2 ? 0.37 : x(n);
            const double s = pattern == 1 ? 0.12 : step(n);
            const double out = rig.recorder->audio[n];
            const double k = out / s;
            ASSERT_NEAR(k, std::round(k), 1e-3) << pattern << " " << n;
            ASSERT_LE(std::fabs(out - xv), s * 0.5 + 1e-6) << pattern << " " << n;
        }
    }
}

TEST(Quantiser, AStaticStepOfZeroPassesAStreamingSignalThrough)
{
    QuantRig rig = MakeQuantiser();
    auto x = [](int64_t t) { return 0.3f * std::sin(0.02f * static_cast<float>(t)); };
    rig.In(0).Stream(x);
    rig.In(1).HoldConstant(0.0f);
    rig.graph.Run(300);
    EXPECT_TRUE(rig.module->IsListed());
    for (int n = 1; n < 300; ++n)
        ASSERT_EQ(rig.recorder->audio[n], x(n));
}

TEST(Quantiser, StaticInputsSleepAndWildInputsStayFinite)
{
    QuantRig rig = MakeQuantiser();
    rig.In(0).HoldConstant(0.26f);
    rig.In(1).HoldConstant(0.1f);
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_NEAR(rig.recorder->audio.back(), 0.3f, 1e-6);

    rig.In(0).Stream([](int64_t t) { return t % 2 ? 1e30f : kNaN; });
    rig.In(1).Stream([](int64_t t) { return t % 3 == 0 ? kNaN : (t % 3 == 1 ? -kInf : 1e-12f); });
    rig.graph.Run(300);
    for (float v : rig.recorder->audio)
        ASSERT_TRUE(std::isfinite(v));
}
