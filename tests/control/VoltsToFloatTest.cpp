#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_volts_to_float.h"
#include "modules/control/ug_volts_to_float2.h"

using kvtest::Recorder;
using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
constexpr float kRate = 44100.0f;

struct MeterRig
{
    explicit MeterRig(int response, const wchar_t* type = L"VoltsToFloat") : graph(96, kRate)
    {
        module = static_cast<ug_volts_to_float*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        source = graph.Add<TestSource>(10);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[ug_volts_to_float::PN_VOLTS_IN]);
        recorder = graph.Add<Recorder>(1);
        ug_base::connect(module->plugs_[ug_volts_to_float::PN_FLOAT_OUT], recorder->plugs_[Recorder::PN_FLOAT]);
        graph.OpenAll();
        SetEnum(ug_volts_to_float::PN_RESPONSE, response);
    }
    void SetEnum(int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(module->sampleClock_, pin, DT_ENUM, &v, 4);
    }
    float LastReport() const { return recorder->changes.back().floatValue; }

    TestGraph graph;
    ug_volts_to_float* module = nullptr;
    TestSource* source = nullptr;
    Recorder* recorder = nullptr;
};
} // namespace

TEST(VoltsToFloat, BothMetersAreRegisteredAndOnlyTheFirstEndsAPolyphonicChain)
{
    for (const wchar_t* type : {L"VoltsToFloat", L"VoltsToFloat2"})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(type);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->GetPinDescriptions().size(), 4u);
        EXPECT_EQ(info->getPinDescriptionById(3)->GetName(), L"Float Out");
    }
    MeterRig one(ug_volts_to_float::R_DB_PEAK);
    MeterRig two(ug_volts_to_float::R_DB_PEAK, L"VoltsToFloat2");
    EXPECT_EQ(one.module->flags_ & 0x42u, 0x42u);
    EXPECT_EQ(two.module->flags_ & 0x42u, 0x2u);
}

TEST(VoltsToFloat, TheReportPeriodFollowsTheUpdateRateAndIsAlwaysPositive)
{
    EXPECT_EQ(ug_volts_to_float::ReportPeriod(10, 44100.0f), static_cast<int>(44100.0 / 10.03));
    EXPECT_EQ(ug_volts_to_float::ReportPeriod(40, 48000.0f), static_cast<int>(48000.0 / 40.03));
    EXPECT_GE(ug_volts_to_float::ReportPeriod(0, 44100.0f), 1);
    EXPECT_GE(ug_volts_to_float::ReportPeriod(-7, 44100.0f), 1);
    EXPECT_GE(ug_volts_to_float::ReportPeriod(32767, 1.0f), 1);
}

TEST(VoltsToFloat, ASilentInputInPeakModeReportsMinus160AndThenSleeps)
{
    MeterRig rig(ug_volts_to_float::R_DB_PEAK);
    rig.source->HoldConstant(0.0f);
    rig.graph.Run(5 * rig.module->Period());
    ASSERT_EQ(rig.recorder->changes.size(), 1u);
    EXPECT_EQ(rig.recorder->changes[0].time, 0);
    EXPECT_EQ(rig.LastReport(), -160.0f);
    EXPECT_FALSE(rig.module->TimerRunning());
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));

    // A new input state restarts the timer.
    rig.source->HoldConstant(0.5f);
    rig.graph.Run(2 * rig.module->Period());
    EXPECT_NEAR(rig.LastReport(), 20.0f * std::log10(0.5f), 0.05f);
}

TEST(VoltsToFloat, AConstantHalfInDcFastReportsFiveVolts)
{
    MeterRig rig(ug_volts_to_float::R_VOLTS_DC_FAST);
    rig.source->HoldConstant(0.5f);
    rig.graph.Run(3 * rig.module->Period());
    EXPECT_FLOAT_EQ(rig.LastReport(), 5.0f);
}

TEST(VoltsToFloat, AFullScaleSineInVuModeSettlesNearZeroDecibels)
{
    MeterRig rig(ug_volts_to_float::R_DB_VU);
    rig.source->Stream([](int64_t t) { return static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * t / kRate)); });
    rig.graph.Run(static_cast<int>(kRate));
    // RMS 1/sqrt(2) is -3.01 dB; the VU scale adds 3.
    EXPECT_NEAR(rig.LastReport(), 20.0f * std::log10(std::sqrt(0.5f)) + 3.0f, 0.2f);
}

TEST(VoltsToFloat, ClipDetectReportsTenForAPeriodWithAClipAndZeroForTheNext)
{
    MeterRig rig(ug_volts_to_float::R_CLIP_DETECT);
    const int period = rig.module->Period();
    rig.source->Stream([](int64_t t) { return t == 1000 ? -1.0f : 0.5f; });
    rig.graph.Run(3 * period + 10);
    const auto& changes = rig.recorder->changes;
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].floatValue, 0.0f);
    EXPECT_EQ(changes[1].time, period);
    EXPECT_EQ(changes[1].floatValue, 10.0f);
    EXPECT_EQ(changes[2].time, 2 * period);
    EXPECT_EQ(changes[2].floatValue, 0.0f);
}

TEST(VoltsToFloat, NaNAndInfiniteInputsGiveFiniteReports)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int response = 0; response <= ug_volts_to_float::R_CLIP_DETECT; ++response)
    {
        MeterRig rig(response);
        rig.source->Stream([&](int64_t t) { return t % 3 == 0 ? nan : (t % 3 == 1 ? inf : -inf); });
        rig.graph.Run(4 * rig.module->Period());
        ASSERT_FALSE(rig.recorder->changes.empty());
        for (const auto& c : rig.recorder->changes)
            ASSERT_TRUE(std::isfinite(c.floatValue)) << "response " << response;
        rig.source->HoldConstant(inf);
        rig.graph.Run(4 * rig.module->Period());
        EXPECT_TRUE(std::isfinite(rig.LastReport())) << "response " << response;
    }
}
