#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_pan.h"
#include "signal/FadeCurves.h"
#include "signal/SignalRig.h"

using kvtest::DecibelVolume;
using kvtest::FadeCurve;

namespace
{
using Rig = kvtest::SignalRig<ug_pan>;

// Left and right gains of a law for a pan value, volume excluded.
double LeftOf(int law, double pan) { return FadeCurve(law, std::clamp(0.5 - pan, 0.0, 1.0)); }
double RightOf(int law, double pan) { return FadeCurve(law, 1.0 - std::clamp(0.5 - pan, 0.0, 1.0)); }

float Wave(int64_t t) { return 0.4f * std::sin(0.05f * static_cast<float>(t)); }

// A panner with every audio input fed, recording "Left Out".
struct PanRig : Rig
{
    explicit PanRig(int law) : Rig(L"Pan", {ug_pan::PN_INPUT, ug_pan::PN_PAN, ug_pan::PN_VOLUME}, ug_pan::PN_LEFT_OUT)
    {
        SetEnum(ug_pan::PN_FADE_LAW, law);
    }
};

const float* RightOut(Rig& rig) { return rig.module->plugs_[ug_pan::PN_RIGHT_OUT]->GetSampleBlock()->GetBlock(); }
const float* LeftOut(Rig& rig) { return rig.module->plugs_[ug_pan::PN_LEFT_OUT]->GetSampleBlock()->GetBlock(); }
} // namespace

TEST(PanRegistration, TheModuleIsRegisteredWithItsSixPins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Pan");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 6u);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetEnumList(), L"5,-5,5,-5");
    EXPECT_EQ(info->getPinDescriptionById(4)->GetDefaultVal(), L"8");
    EXPECT_EQ(info->getPinDescriptionById(5)->GetFlags() & 0x40000u, 0x40000u);
}

TEST(PanFixedGains, EachLawSplitsACentredSignalByItsCurveTimesTheVolume)
{
    for (int law : {0, 1, 2})
    {
        for (float volume : {1.0f, 0.8f, 0.37f})
        {
            PanRig rig(law);
            rig.In(ug_pan::PN_PAN).HoldConstant(0.0f);
            rig.In(ug_pan::PN_VOLUME).HoldConstant(volume);
            rig.In(ug_pan::PN_INPUT).Stream(Wave);
            rig.graph.Run(192);
            const double l = LeftOf(law, 0.0) * DecibelVolume(volume);
            const double r = RightOf(law, 0.0) * DecibelVolume(volume);
            for (int n = 96; n < 192; ++n)
            {
                ASSERT_NEAR(rig.recorder->audio[n], Wave(n) * l, 1e-6) << law;
                ASSERT_NEAR(RightOut(rig)[n - 96], Wave(n) * r, 1e-6) << law;
            }
        }
    }
    EXPECT_NEAR(DecibelVolume(1.0), 1.0, 1e-6);
    EXPECT_NEAR(FadeCurve(1, 0.5), std::sqrt(0.5), 1e-6);
}

TEST(PanFixedGains, HardPansGiveOneSideOnlyAndTheSilentSideIsAnnouncedStatic)
{
    PanRig rig(0);
    rig.In(ug_pan::PN_VOLUME).HoldConstant(0.6f);
    rig.In(ug_pan::PN_PAN).HoldConstant(-0.5f);
    rig.In(ug_pan::PN_INPUT).Stream(Wave);
    rig.graph.Run(96);
    EXPECT_NEAR(rig.module->LeftGain(), DecibelVolume(0.6), 1e-6);
    EXPECT_EQ(rig.module->RightGain(), 0.0f);

    rig.SetEnum(ug_pan::PN_FADE_LAW, 1);
    rig.In(ug_pan::PN_PAN).HoldConstant(0.5f);
    rig.graph.Run(96);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.module->plugs_[ug_pan::PN_RIGHT_OUT]->state_, ST_STREAMING);
    for (int n = 96; n < 192; ++n)
    {
        ASSERT_EQ(rig.recorder->audio[n], 0.0f);
        ASSERT_NEAR(RightOut(rig)[n - 96], Wave(n) * DecibelVolume(0.6), 1e-6);
    }
}

TEST(PanStreaming, StreamingPanAndVolumeFollowTheLawPerSampleAndStayFiniteOnWildValues)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto pan = [&](int64_t t) -> float {
        const float wild[] = {nan, inf, -inf, 3.0f};
        return t % 9 < 4 ? wild[t % 9] : static_cast<float>(t % 101) / 100.0f - 0.5f;
    };
    auto volume = [&](int64_t t) -> float {
        const float wild[] = {nan, 1e30f, -0.2f};
        return t % 7 < 3 ? wild[t % 7] : static_cast<float>(t % 97) / 80.0f;
    };
    for (int law : {0, 1, 2})
    {
        PanRig rig(law);
        rig.In(ug_pan::PN_INPUT).Stream(Wave);
        rig.In(ug_pan::PN_PAN).Stream(pan);
        rig.In(ug_pan::PN_VOLUME).Stream(volume);
        rig.graph.Run(96 * 6);
        for (int n = 96 * 5; n < 96 * 6; ++n)
        {
            // A NaN pan counts as hard right.
            const double p = std::isnan(pan(n)) ? 0.5 : static_cast<double>(pan(n));
            const double g = DecibelVolume(volume(n));
            const double tolerance = 2e-6 * (1.0 + g);
            ASSERT_NEAR(rig.recorder->audio[n], Wave(n) * LeftOf(law, p) * g, tolerance) << law << " " << n;
            ASSERT_NEAR(RightOut(rig)[n - 96 * 5], Wave(n) * RightOf(law, p) * g, tolerance) << law << " " << n;
        }
    }
}

TEST(PanSleep, AStaticZeroInputSilencesBothOutputsAndSleepsWhilePanStreams)
{
    PanRig rig(1);
    rig.In(ug_pan::PN_VOLUME).HoldConstant(1.0f);
    rig.In(ug_pan::PN_PAN).Stream(Wave);
    rig.In(ug_pan::PN_INPUT).Stream(Wave);
    rig.graph.Run(192);
    ASSERT_NE(rig.recorder->audio[100], 0.0f);
    rig.In(ug_pan::PN_INPUT).HoldConstant(0.0f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_NE(rig.module->plugs_[ug_pan::PN_RIGHT_OUT]->state_, ST_STREAMING);
    for (size_t n = 192; n < rig.recorder->audio.size(); ++n)
        ASSERT_EQ(rig.recorder->audio[n], 0.0f);
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(RightOut(rig)[i], 0.0f);
}

TEST(PanSleep, StaticInputsWriteTheScaledValueForOneBlockThenSleepAndZeroVolumeSilences)
{
    PanRig rig(2);
    rig.In(ug_pan::PN_PAN).HoldConstant(0.2f);
    rig.In(ug_pan::PN_VOLUME).HoldConstant(0.9f);
    rig.In(ug_pan::PN_INPUT).Stream(Wave);
    rig.graph.Run(192);
    rig.In(ug_pan::PN_INPUT).HoldConstant(0.3f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    for (int i = 0; i < 96; ++i)
    {
        ASSERT_NEAR(LeftOut(rig)[i], 0.3 * LeftOf(2, 0.2) * DecibelVolume(0.9), 1e-6);
        ASSERT_NEAR(RightOut(rig)[i], 0.3 * RightOf(2, 0.2) * DecibelVolume(0.9), 1e-6);
    }

    rig.In(ug_pan::PN_INPUT).Stream(Wave);
    rig.In(ug_pan::PN_VOLUME).Stream(Wave);
    rig.graph.Run(192);
    EXPECT_TRUE(rig.module->IsListed());
    rig.In(ug_pan::PN_VOLUME).HoldConstant(0.0f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->audio.back(), 0.0f);
    EXPECT_EQ(RightOut(rig)[95], 0.0f);
}

TEST(PanPolyphony, TheModuleIsPolyphonyActiveWhenTheInputAndPanOrVolumeCarryVoices)
{
    for (int other : {ug_pan::PN_PAN, ug_pan::PN_VOLUME})
    {
        PanRig rig(1);
        auto mark = [&](int pin) { rig.module->plugs_[pin]->plugFlags_ |= PF_PP_DOWNSTREAM; };
        mark(other);
        EXPECT_FALSE(rig.module->PPGetActiveFlag());
        mark(ug_pan::PN_INPUT);
        EXPECT_TRUE(rig.module->PPGetActiveFlag());
    }
}
