#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "modules/signal/ug_delay.h"
#include "modules/signal/ug_delay2.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
constexpr float kRate = 44100.0f;
// 0.005 s at 44.1 kHz: 220.5 samples, truncated.
constexpr float kTime = 0.005f;
constexpr int kN = 220;

struct DelayRig : SignalRig<ug_delay>
{
    explicit DelayRig(const wchar_t* type = L"Delay")
        : SignalRig<ug_delay>(type, {ug_delay::PN_SIGNAL_IN, ug_delay::PN_MODULATION, ug_delay::PN_FEEDBACK},
                              ug_delay::PN_SIGNAL_OUT, kRate)
    {
    }
    void SetTime(float seconds)
    {
        module->SetPinValue(module->sampleClock_, ug_delay::PN_DELAY_TIME, DT_FLOAT, &seconds, 4);
    }
    void Impulse(int64_t at)
    {
        In(ug_delay::PN_SIGNAL_IN).Stream([at](int64_t t) { return t == at ? 1.0f : 0.0f; });
    }
    std::vector<float>& Out() { return recorder->audio; }
};

// Every sample is zero except those listed.
void ExpectPulses(const std::vector<float>& out, const std::vector<std::pair<int, float>>& pulses)
{
    std::vector<float> expected(out.size(), 0.0f);
    for (auto [at, height] : pulses)
        expected.at(static_cast<size_t>(at)) = height;
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], expected[i], 1e-6) << i;
}
} // namespace

TEST(DelayRegistration, BothTypesListTheirPinsWithTheirOwnDefaults)
{
    Module_Info* delay = CModuleFactory::Instance()->GetById(L"Delay");
    Module_Info* delay2 = CModuleFactory::Instance()->GetById(L"Delay2");
    ASSERT_NE(delay, nullptr);
    ASSERT_NE(delay2, nullptr);
    ASSERT_EQ(delay->GetPinDescriptions().size(), 6u);
    ASSERT_EQ(delay2->GetPinDescriptions().size(), 6u);
    EXPECT_EQ(delay->getPinDescriptionById(1)->GetDefaultVal(), L"5");
    EXPECT_EQ(delay2->getPinDescriptionById(1)->GetDefaultVal(), L"10");
    EXPECT_EQ(delay->getPinDescriptionById(3)->GetDefaultVal(), L"0.25");
    EXPECT_EQ(delay2->getPinDescriptionById(3)->GetDefaultVal(), L"1.0");
    EXPECT_EQ(delay->getPinDescriptionById(0)->GetFlags() & 0x200u, 0x200u);
    EXPECT_EQ(delay->getPinDescriptionById(3)->GetFlags() & 0x40000u, 0x40000u);
}

TEST(DelayLength, TimesAreTruncatedToSamplesBetweenOneSampleAndTenSeconds)
{
    EXPECT_EQ(ug_delay::DelayLength(0.25f, 44100.0f), 11025);
    EXPECT_EQ(ug_delay::DelayLength(kTime, kRate), kN);
    EXPECT_EQ(ug_delay::DelayLength(0.0f, 48000.0f), 1);
    EXPECT_EQ(ug_delay::DelayLength(-3.0f, 48000.0f), 1);
    EXPECT_EQ(ug_delay::DelayLength(1e-9f, 48000.0f), 1);
    EXPECT_EQ(ug_delay::DelayLength(20.0f, 48000.0f), 480000);
    EXPECT_EQ(ug_delay::DelayLength(std::numeric_limits<float>::quiet_NaN(), 48000.0f), 1);
    EXPECT_EQ(ug_delay::DelayLength(std::numeric_limits<float>::infinity(), 48000.0f), 480000);
}

TEST(DelayLine, TheRingHoldsTheLongestDelayAndANewTimeResizesTheLine)
{
    DelayRig rig;
    EXPECT_EQ(rig.module->BufferCapacity(), static_cast<size_t>(441000 + 2));
    rig.SetTime(20.0f);
    rig.graph.Run(96);
    EXPECT_EQ(rig.module->DelayLengthSamples(), 441000);
    EXPECT_EQ(rig.module->RingLength(), 441001);
}

TEST(DelayLine, AnImpulseLeavesExactlyTheDelayLengthLaterAtFiveVolts)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.In(ug_delay::PN_MODULATION).HoldConstant(0.5f);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    rig.Impulse(10);
    rig.graph.Run(96 * 6);
    ExpectPulses(rig.Out(), {{10 + kN, 1.0f}});
}

TEST(DelayLine, FeedbackEchoesHalveAndRecurEveryDelayPlusOneSamples)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.In(ug_delay::PN_MODULATION).HoldConstant(0.5f);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.5f);
    rig.Impulse(0);
    rig.graph.Run(96 * 8);
    ExpectPulses(rig.Out(), {{kN, 1.0f}, {2 * kN + 1, 0.5f}, {3 * kN + 2, 0.25f}});
}

TEST(DelayLine, MinusFiveVoltsGivesNoDelayAndDelay2ScalesFromZeroToTenVolts)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.In(ug_delay::PN_MODULATION).HoldConstant(-0.5f);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    rig.Impulse(30);
    rig.graph.Run(192);
    ExpectPulses(rig.Out(), {{30, 1.0f}});

    // Delay2 at 3 V: 0.3 of the line, 66 samples.
    DelayRig rig2(L"Delay2");
    rig2.SetTime(kTime);
    rig2.In(ug_delay::PN_MODULATION).HoldConstant(0.3f);
    rig2.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    rig2.Impulse(30);
    rig2.graph.Run(192);
    const int delay = static_cast<int>(std::floor(static_cast<float>(kN) * 0.3f + 0.5f));
    ExpectPulses(rig2.Out(), {{30 + delay, 1.0f}});
}

TEST(DelayLine, InterpolatedReadsFollowAStreamingModulationOnARamp)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.SetBool(ug_delay::PN_INTERPOLATE, true);
    auto modulation = [](int64_t t) { return 0.2f * std::sin(0.01f * static_cast<float>(t)); };
    rig.In(ug_delay::PN_MODULATION).Stream(modulation);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    rig.In(ug_delay::PN_SIGNAL_IN).Stream([](int64_t t) { return 0.001f * static_cast<float>(t); });
    rig.graph.Run(96 * 10);
    // Linear interpolation is exact on a ramp: the output is the input kN * (0.5 + m) samples ago.
    for (int t = kN + 1; t < 96 * 10; ++t)
    {
        const double delay = kN * (0.5 + static_cast<double>(modulation(t)));
        ASSERT_NEAR(rig.Out()[static_cast<size_t>(t)], 0.001 * (t - delay), 2e-4) << t;
    }
}

TEST(DelayLine, ANewDelayTimeRestartsTheLineFromSilence)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.In(ug_delay::PN_MODULATION).HoldConstant(0.5f);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.9f);
    rig.In(ug_delay::PN_SIGNAL_IN).Stream([](int64_t t) { return t < 96 ? 1.0f : 0.0f; });
    rig.graph.Run(96 * 4);
    rig.SetTime(kTime * 2.0f);
    rig.graph.Run(96 * 10);
    for (size_t i = 96 * 4; i < rig.Out().size(); ++i)
        ASSERT_EQ(rig.Out()[i], 0.0f) << i;
}

TEST(DelayStatic, AQuietInputSleepsAfterTheLineHasRunOutAndAConstantOneStaysAwake)
{
    DelayRig rig;
    rig.SetTime(kTime);
    rig.In(ug_delay::PN_MODULATION).HoldConstant(0.5f);
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    rig.In(ug_delay::PN_SIGNAL_IN).HoldConstant(0.0f);
    rig.graph.Run(96 * 6);
    // Zero stretches of whole blocks add up to kN samples by the end of the third block.
    ASSERT_EQ(rig.StaticAnnouncements(), 1);
    EXPECT_EQ(rig.recorder->changes.back().time, 288);
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));

    DelayRig awake;
    awake.SetTime(kTime);
    awake.In(ug_delay::PN_MODULATION).HoldConstant(0.5f);
    awake.In(ug_delay::PN_FEEDBACK).HoldConstant(0.0f);
    awake.In(ug_delay::PN_SIGNAL_IN).HoldConstant(0.3f);
    awake.graph.Run(96 * 10);
    EXPECT_EQ(awake.StaticAnnouncements(), 0);
    EXPECT_NEAR(awake.Out().back(), 0.3f, 1e-6);
}

TEST(DelayExtremes, NanAndRunawayFeedbackGiveFiniteBoundedOutput)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    DelayRig rig;
    rig.SetTime(kTime);
    rig.SetBool(ug_delay::PN_INTERPOLATE, true);
    const float modulation[] = {nan, inf, -1e30f, 1e30f};
    rig.In(ug_delay::PN_MODULATION).Stream([&modulation](int64_t t) { return modulation[t % 4]; });
    rig.In(ug_delay::PN_FEEDBACK).HoldConstant(100.0f);
    rig.In(ug_delay::PN_SIGNAL_IN).Stream([nan](int64_t t) { return t % 7 == 0 ? nan : 1.0f; });
    rig.graph.Run(96 * 20);
    ASSERT_EQ(rig.Out().size(), 96u * 20u);
    for (float v : rig.Out())
    {
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_LE(std::fabs(v), ug_delay::kMaxSample);
    }
}
