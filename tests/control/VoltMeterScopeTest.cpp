#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "control/DisplayRig.h"
#include "modules/control/ug_scope.h"
#include "modules/control/ug_volt_meter.h"

using kvtest::DisplayRig;

namespace
{
using Rig = DisplayRig<ug_volt_meter>;

float Ramp(int64_t t)
{
    return static_cast<float>(t % 1000) * 0.0005f;
}
} // namespace

TEST(VoltMeterRegistration, VoltMeterAndScopeAreRegisteredWithTheirPins)
{
    Module_Info* meter = CModuleFactory::Instance()->GetById(L"Volt Meter");
    ASSERT_NE(meter, nullptr);
    ASSERT_EQ(meter->GetPinDescriptions().size(), 7u);
    EXPECT_EQ(meter->getPinDescriptionById(2)->GetEnumList(), L"Regular=2, Fast=5");
    EXPECT_EQ(meter->getPinDescriptionById(5)->GetFlags() & 0x10102u, 0x10102u);
    ASSERT_NE(CModuleFactory::Instance()->GetById(L"Scope"), nullptr);
    EXPECT_EQ(CModuleFactory::Instance()->GetById(L"Scope")->GetPinDescriptions().size(), 2u);
}

TEST(VoltMeter, DcModeApproachesAConstantByAFactorPerPieceAndShowsItInVoltsThenSleeps)
{
    Rig rig(L"Volt Meter");
    rig.Open();
    rig.source->HoldConstant(0.3f);
    rig.graph.Run(960);
    EXPECT_NEAR(rig.module->Reading(), 0.3 * (1.0 - std::pow(0.95, 10)), 1e-5);

    rig.graph.Run(44100 * 6);
    EXPECT_NEAR(rig.Sent().back(), 3.0f, 1e-4f);
    EXPECT_FALSE(rig.module->TimerRunning());
    EXPECT_FALSE(rig.module->IsListed());
}

TEST(VoltMeter, AcModeShowsTheMeanSquareAndAModeChangeWakesASleepingMeter)
{
    Rig rig(L"Volt Meter");
    rig.Open();
    rig.source->HoldConstant(0.5f);
    rig.graph.Run(44100 * 6);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_NEAR(rig.Sent().back(), 5.0f, 1e-4f);

    rig.SetEnum(ug_volt_meter::PN_MODE, ug_volt_meter::MODE_AC_RMS);
    rig.graph.Run(44100 * 4);
    EXPECT_NEAR(rig.Sent().back(), 2.5f, 1e-3f);

    // Blocks longer than the averaging window must not unsettle the mean.
    Rig longBlocks(L"Volt Meter", 44100.0f, 2048);
    longBlocks.Open();
    longBlocks.SetEnum(ug_volt_meter::PN_MODE, ug_volt_meter::MODE_AC_RMS);
    longBlocks.source->Stream([](int64_t t) { return (t & 1) ? 0.5f : -0.5f; });
    longBlocks.graph.Run(44100 * 3);
    EXPECT_NEAR(longBlocks.module->Reading(), 0.25f, 1e-4f);
}

TEST(VoltMeter, UpdateRateSetsTheReportPeriodAndZeroMeansRegular)
{
    for (int rate : {0, 2, 5})
    {
        Rig rig(L"Volt Meter");
        rig.Open();
        rig.SetEnum(ug_volt_meter::PN_UPDATE_RATE, rate);
        rig.source->Stream(Ramp);
        rig.graph.Run(44100 * 2 + 1);
        const auto times = rig.SentTimes();
        ASSERT_GE(times.size(), 3u) << rate;
        const int64_t period = 44100 / (rate == 0 ? 2 : rate);
        for (size_t i = 1; i < times.size(); ++i)
            EXPECT_EQ(times[i] - times[i - 1], period) << rate;
    }
}

TEST(VoltMeter, ANotANumberReadingIsNeverSentAndTheMeterStartsAgainFromZero)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (int mode : {ug_volt_meter::MODE_DC, ug_volt_meter::MODE_AC_RMS})
    {
        Rig rig(L"Volt Meter");
        rig.Open();
        rig.SetEnum(ug_volt_meter::PN_MODE, mode);
        rig.source->Stream([inf](int64_t t) { return (t % 3) == 0 ? std::nanf("") : (t % 3) == 1 ? inf : 1e30f; });
        rig.graph.Run(44100);
        rig.source->HoldConstant(0.2f);
        rig.graph.Run(44100 * 6);
        const auto sent = rig.Sent();
        EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](float v) { return std::isfinite(v); })) << mode;
        EXPECT_NEAR(sent.back(), mode == ug_volt_meter::MODE_DC ? 2.0 : 0.4, 1e-3) << mode;
    }
}

TEST(Scope, TheScopeSendsNothingAndLeavesItsInputAsItCame)
{
    DisplayRig<ug_scope> rig(L"Scope");
    rig.Open();
    rig.source->Stream(Ramp);
    rig.graph.Run(96 * 4);
    EXPECT_TRUE(rig.recorder->changes.empty());
    const float* a = rig.source->plugs_[kvtest::TestSource::PN_AUDIO]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(a[i], Ramp(96 * 3 + i)) << i;
}
