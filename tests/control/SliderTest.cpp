// "Slider": patch value in volts to a gliding audio-rate control signal.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/control/ug_slider.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
struct SliderRig : SignalRig<ug_slider>
{
    explicit SliderRig(float rate = 44100.0f) : SignalRig<ug_slider>(L"Slider", {}, ug_slider::PN_SIGNAL_OUT, rate) {}

    void PatchValue(int64_t time, float volts)
    {
        module->SetPinValue(time, ug_slider::PN_PATCH_VALUE_IN, DT_FLOAT, &volts, 4);
    }
    void PatchValueNow(float volts) { PatchValue(graph.master.SampleClock(), volts); }
    void SetFloat(int pin, float value) { module->SetPinValue(graph.master.SampleClock(), pin, DT_FLOAT, &value, 4); }
    bool Sleeping() const
    {
        return module->GetProcessFunction() == static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep);
    }
    const std::vector<float>& Out() const { return recorder->audio; }
};

// Sample k (from 0) of a linear glide from `from` to `to` over n samples.
float Glide(float from, float to, int n, int k)
{
    return from + (to - from) * static_cast<float>(k + 1) / static_cast<float>(n);
}
} // namespace

TEST(Slider, ALaterChangeGlidesLinearlyOverAThirtySecondOfASecond)
{
    for (float rate : {44100.0f, 48000.0f})
    {
        SliderRig rig(rate);
        const int n = static_cast<int>(rate) / 32;
        EXPECT_EQ(rig.module->GlideLength(), n);
        rig.graph.Run(200);
        rig.PatchValueNow(5.0f);
        rig.graph.Run(n + 300);
        const auto& out = rig.Out();
        EXPECT_EQ(out[199], 0.0f);
        for (int k : {0, 1, n / 3, n / 2, n - 2})
            EXPECT_NEAR(out[static_cast<size_t>(200 + k)], Glide(0.0f, 0.5f, n, k), 1e-5f) << rate << " " << k;
        EXPECT_FLOAT_EQ(out[static_cast<size_t>(200 + n - 1)], 0.5f);
        EXPECT_FLOAT_EQ(out.back(), 0.5f);
    }
}

TEST(Slider, ButtonAppearancesGlideOverFourSamplesAndAllOthersOverAThirtySecondOfASecond)
{
    SliderRig rig;
    const int slow = 44100 / 32;
    const int expected[] = {slow, slow, slow, slow, slow, 4, 4, 4, slow, 4, slow};
    for (int appearance = -1; appearance <= 9; ++appearance)
    {
        rig.SetEnum(ug_slider::PN_APPEARANCE, appearance);
        rig.graph.Run(1);
        EXPECT_EQ(rig.module->GlideLength(), expected[appearance + 1]) << appearance;
    }

    rig.SetEnum(ug_slider::PN_APPEARANCE, 8);
    rig.graph.Run(10);
    const size_t at = rig.Out().size();
    rig.PatchValueNow(10.0f);
    rig.graph.Run(20);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(rig.Out()[at + static_cast<size_t>(k)], Glide(0.0f, 1.0f, 4, k), 1e-6f) << k;
}

TEST(Slider, OtherPinsAndARepeatedValueLeaveTheSleepingOutputAlone)
{
    SliderRig rig;
    rig.PatchValue(0, 2.0f);
    rig.graph.Run(500);
    ASSERT_TRUE(rig.Sleeping());
    const size_t announcements = rig.recorder->changes.size();

    rig.SetFloat(ug_slider::PN_LO_VALUE, -5.0f);
    rig.SetFloat(ug_slider::PN_HI_VALUE, 3.0f);
    rig.SetBool(ug_slider::PN_SHOW_READOUT, false);
    rig.PatchValueNow(2.0f);
    rig.graph.Run(500);
    EXPECT_TRUE(rig.Sleeping());
    EXPECT_EQ(rig.recorder->changes.size(), announcements);
    EXPECT_FLOAT_EQ(rig.Out().back(), 0.2f);
}

TEST(Slider, AfterAGlideTheTargetIsHeldForOneBlockThenTheModuleSleeps)
{
    SliderRig rig;
    rig.graph.Run(96);
    rig.SetEnum(ug_slider::PN_APPEARANCE, 4);
    rig.PatchValueNow(3.0f);
    rig.graph.Run(96);
    // Arrived at the fourth sample, announced static there.
    ASSERT_FALSE(rig.recorder->changes.empty());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.recorder->changes.back().time, 96 + 3);
    rig.graph.Run(96);
    EXPECT_FALSE(rig.Sleeping());
    EXPECT_FLOAT_EQ(rig.Out().back(), 0.3f);
    rig.graph.Run(96);
    EXPECT_TRUE(rig.Sleeping());
}

TEST(Slider, NotANumberKeepsTheOutputAndHugeValuesStayFinite)
{
    SliderRig rig;
    rig.PatchValue(0, 1.0f);
    rig.graph.Run(100);
    rig.PatchValueNow(std::numeric_limits<float>::quiet_NaN());
    rig.graph.Run(2000);
    EXPECT_FLOAT_EQ(rig.Out().back(), 0.1f);

    rig.PatchValueNow(std::numeric_limits<float>::infinity());
    rig.graph.Run(2000);
    rig.PatchValueNow(-std::numeric_limits<float>::max());
    rig.graph.Run(2000);
    for (float v : rig.Out())
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_FLOAT_EQ(rig.Out().back(), -ug_slider::kLimitVolts * 0.1f);
}
