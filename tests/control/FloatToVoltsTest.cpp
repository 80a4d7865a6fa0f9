#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_float_to_volts.h"

using kvtest::Recorder;
using kvtest::TestGraph;

namespace
{
constexpr int kBlock = 96;

struct VoltsRig
{
    VoltsRig() : graph(kBlock, 44100.0f)
    {
        module = static_cast<ug_float_to_volts*>(CModuleFactory::Instance()->GetById(L"FloatToVolts")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        recorder = graph.Add<Recorder>(1);
        ug_base::connect(module->plugs_[ug_float_to_volts::PN_VOLTS_OUT], recorder->plugs_[Recorder::PN_AUDIO]);
        graph.OpenAll();
    }
    void SetSmoothing(int value)
    {
        const int32_t v = value;
        module->SetPinValue(module->sampleClock_, ug_float_to_volts::PN_SMOOTHING, DT_ENUM, &v, 4);
    }
    void SetFloat(float volts)
    {
        module->SetPinValue(module->sampleClock_, ug_float_to_volts::PN_FLOAT_IN, DT_FLOAT, &volts, 4);
    }
    float At(int64_t t) const { return recorder->audio[static_cast<size_t>(t)]; }
    bool Sleeping() const
    {
        return module->GetProcessFunction() == static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep);
    }

    TestGraph graph;
    ug_float_to_volts* module = nullptr;
    Recorder* recorder = nullptr;
};
} // namespace

TEST(FloatToVolts, ItsPinsComeFromTheStaticDescription)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"FloatToVolts");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 3u);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Float In");
    EXPECT_EQ(info->getPinDescriptionById(2)->GetDirection(), DR_OUT);
}

TEST(FloatToVolts, AValueAtTimeZeroJumpsAndTheModuleSleepsAfterOneBlock)
{
    VoltsRig rig;
    rig.SetSmoothing(ug_float_to_volts::SM_SMOOTH);
    rig.SetFloat(5.0f);
    rig.graph.Run(3 * kBlock);
    EXPECT_FLOAT_EQ(rig.At(0), 0.5f);
    EXPECT_FLOAT_EQ(rig.At(kBlock + 10), 0.5f);
    EXPECT_TRUE(rig.Sleeping());
}

TEST(FloatToVolts, FastSmoothingRampsLinearlyOverFourSamplesAndNoneJumps)
{
    VoltsRig rig;
    rig.SetSmoothing(ug_float_to_volts::SM_FAST);
    rig.SetFloat(2.0f);
    rig.graph.Run(kBlock);
    const int64_t t0 = rig.module->sampleClock_;
    rig.SetFloat(6.0f);
    rig.graph.Run(kBlock);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(rig.At(t0 + k), 0.2f + (0.6f - 0.2f) * static_cast<float>(k + 1) / 4.0f, 1e-6f) << k;
    EXPECT_FLOAT_EQ(rig.At(t0 + 4), 0.6f);

    rig.SetSmoothing(ug_float_to_volts::SM_NONE);
    const int64_t t1 = rig.module->sampleClock_;
    rig.SetFloat(-3.0f);
    rig.graph.Run(kBlock);
    EXPECT_FLOAT_EQ(rig.At(t1), -0.3f);
}

TEST(FloatToVolts, SmoothSmoothingGlidesOverAThirtySecondOfASecond)
{
    VoltsRig rig;
    rig.graph.Run(kBlock);
    const int64_t t0 = rig.module->sampleClock_;
    rig.SetFloat(10.0f);
    const int n = 44100 / 32;
    EXPECT_EQ(rig.module->GlideSamples(t0), n);
    rig.graph.Run(20 * kBlock);
    EXPECT_NEAR(rig.At(t0 + n / 2 - 1), 0.5f, 1e-3f);
    EXPECT_LT(rig.At(t0 + n - 2), 1.0f);
    EXPECT_FLOAT_EQ(rig.At(t0 + n - 1), 1.0f);
    EXPECT_TRUE(rig.Sleeping());
}

TEST(FloatToVolts, NaNAndHugeFloatsGiveFiniteBoundedOutput)
{
    VoltsRig rig;
    rig.SetSmoothing(ug_float_to_volts::SM_NONE);
    rig.graph.Run(kBlock);
    rig.SetFloat(std::numeric_limits<float>::quiet_NaN());
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.At(kBlock + 5), 0.0f);
    rig.SetFloat(std::numeric_limits<float>::infinity());
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.At(2 * kBlock + 5), ug_float_to_volts::kMaxOutput);
    rig.SetFloat(-1e30f);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.At(3 * kBlock + 5), -ug_float_to_volts::kMaxOutput);
}
