#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "control/DisplayRig.h"
#include "modules/control/ug_led.h"
#include "modules/control/ug_peak_meter.h"

using kvtest::DisplayRig;

namespace
{
constexpr int kPeriod = 44100 / 6;

double DecibelBar(double peak)
{
    return std::max(-100.0, 50.0 * std::log10(std::max(2.0 * peak, 1e-12)) + 100.0) * 0.01;
}
} // namespace

TEST(LedRegistration, BothDisplaysAreRegisteredWithTheirPatchValuePinsAndAggregatorFlags)
{
    for (const wchar_t* id : {L"LED Indicator", L"Peak Meter"})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(id);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->GetPinDescriptions().size(), 8u);
        EXPECT_EQ(info->getPinDescriptionById(5)->GetFlags() & 0x10102u, 0x10102u);
        EXPECT_EQ(info->getPinDescriptionById(6)->GetFlags() & 0x10502u, 0x10502u);
    }
    DisplayRig<ug_led> rig(L"LED Indicator");
    EXPECT_EQ(rig.module->flags_ & 0x42u, 0x42u);
}

TEST(Led, AStaticInputAboveTheThresholdLightsOnceThenSleepsWithTheLampOn)
{
    DisplayRig<ug_led> rig(L"LED Indicator");
    rig.Open();
    rig.source->HoldConstant(0.5f);
    rig.graph.Run(kPeriod * 4);
    // The initial 0 and the switch-on share time 0: the receiver keeps the later one.
    const auto sent = rig.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), 1000.0f);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 1000.0f), 1);
    EXPECT_FALSE(rig.module->TimerRunning());
    EXPECT_FALSE(rig.module->IsListed());
}

TEST(Led, AOneSampleCrossingLightsAtOnceAndGoesDarkAfterAPeriodWithoutOne)
{
    DisplayRig<ug_led> rig(L"LED Indicator");
    rig.Open();
    rig.source->Stream([](int64_t t) { return t == 1000 ? 0.5f : 0.0f; });
    rig.graph.Run(kPeriod * 3 + 100);
    ASSERT_EQ(rig.Sent(), (std::vector<float>{0.0f, 1000.0f, 0.0f}));
    const auto times = rig.SentTimes();
    EXPECT_LE(times[1], 1000);
    EXPECT_GT(times[1], 1000 - 96);
    EXPECT_EQ(times[2], 2 * kPeriod);
}

TEST(Led, ASignalEqualToTheThresholdStaysDarkAndAChangedThresholdIsHonouredAfterSleep)
{
    DisplayRig<ug_led> rig(L"LED Indicator");
    kvtest::TestSource* threshold = rig.Feed(ug_led::PN_THRESHOLD);
    rig.Open();
    threshold->HoldConstant(0.25f);
    rig.source->HoldConstant(0.25f);
    rig.graph.Run(kPeriod * 4);
    EXPECT_EQ(rig.Sent(), (std::vector<float>{0.0f}));
    EXPECT_FALSE(rig.module->IsListed());

    threshold->HoldConstant(0.2f);
    rig.graph.Run(kPeriod * 4);
    EXPECT_EQ(rig.Sent(), (std::vector<float>{0.0f, 1000.0f}));
}

TEST(PeakMeter, BarTargetFollowsTheDecibelAndLinearLaws)
{
    for (float peak : {0.5f, 0.05f, 0.013f, 3.0f, 0.0f, -0.4f})
    {
        EXPECT_NEAR(ug_led::BarTarget(peak, ug_led::RESPONSE_DECIBEL), DecibelBar(peak), 1e-5) << peak;
        EXPECT_NEAR(ug_led::BarTarget(peak, ug_led::RESPONSE_LINEAR), 2.0 * peak, 1e-6) << peak;
    }
}

TEST(PeakMeter, AFiveVoltInputShowsFullScaleAndSilenceFallsHalfAStepPerReportToTheFloor)
{
    DisplayRig<ug_peak_meter> rig(L"Peak Meter");
    rig.Open();
    rig.source->HoldConstant(0.5f);
    rig.graph.Run(kPeriod * 4);
    EXPECT_EQ(rig.Sent(), (std::vector<float>{-10.0f, 10.0f}));
    EXPECT_FALSE(rig.module->IsListed());

    // From full scale the bar passes through 0 on its way down and must not stop there.
    rig.source->HoldConstant(0.0f);
    rig.graph.Run(kPeriod * 8);
    std::vector<float> expected{-10.0f, 10.0f};
    for (float shown = 1.0f; shown > -1.0f;)
    {
        shown += std::max(-0.5f, -1.0f - shown);
        expected.push_back(shown * 10.0f);
    }
    EXPECT_EQ(rig.Sent(), expected);
    EXPECT_FALSE(rig.module->IsListed());
}

TEST(PeakMeter, LinearShowsTwiceThePeakAndNegativeSignalsAreNotRectified)
{
    DisplayRig<ug_peak_meter> linear(L"Peak Meter");
    linear.Open();
    linear.SetEnum(ug_peak_meter::PN_RESPONSE, ug_led::RESPONSE_LINEAR);
    linear.source->Stream([](int64_t t) { return 0.3f * std::sin(6.2831853f * static_cast<float>(t % 100) / 100.0f); });
    linear.graph.Run(kPeriod * 5);
    EXPECT_NEAR(linear.Sent().back(), 6.0f, 1e-3f);

    DisplayRig<ug_peak_meter> decibel(L"Peak Meter");
    decibel.Open();
    decibel.source->Stream([](int64_t t) { return -0.3f - 0.1f * std::sin(0.01f * static_cast<float>(t)); });
    decibel.graph.Run(kPeriod * 5);
    EXPECT_EQ(decibel.Sent(), (std::vector<float>{-10.0f}));
}

TEST(PeakMeter, NonFiniteInputsKeepBothDisplaysFiniteAndTheMeterRecovers)
{
    const float inf = std::numeric_limits<float>::infinity();
    auto wild = [inf](int64_t t) {
        const int64_t phase = t % 7;
        return phase == 0 ? inf : phase == 1 ? std::nanf("") : phase == 2 ? -inf : 1e30f;
    };
    auto finite = [](const std::vector<float>& v) {
        return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
    };
    DisplayRig<ug_peak_meter> meter(L"Peak Meter");
    meter.Open();
    meter.source->Stream(wild);
    meter.graph.Run(kPeriod * 3);
    meter.source->HoldConstant(0.1f);
    meter.graph.Run(kPeriod * 40);
    EXPECT_TRUE(finite(meter.Sent()));
    EXPECT_NEAR(meter.Sent().back(), DecibelBar(0.1) * 10.0, 1e-4);

    DisplayRig<ug_led> led(L"LED Indicator");
    led.Open();
    led.source->Stream(wild);
    led.graph.Run(kPeriod * 3);
    EXPECT_TRUE(finite(led.Sent()));
    EXPECT_EQ(led.Sent().back(), 1000.0f);
}
