#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_cross_fade.h"
#include "signal/FadeCurves.h"
#include "signal/SignalRig.h"

using kvtest::FadeCurve;

namespace
{
using Rig = kvtest::SignalRig<ug_cross_fade>;

// Expected output for a mix value; law 0 clamps the position first.
double Mixed(int law, double mix, double a, double b)
{
    double x = 0.5 - mix;
    if (law == 0)
        x = std::clamp(x, 0.0, 1.0);
    return FadeCurve(law, 1.0 - x) * a + FadeCurve(law, x) * b;
}

float WaveA(int64_t t) { return 0.4f * std::sin(0.05f * static_cast<float>(t)); }
float WaveB(int64_t t) { return 0.3f * std::cos(0.031f * static_cast<float>(t)) - 0.1f; }

// A cross fade with every audio input fed, recording "Signal Out".
struct MixRig : Rig
{
    explicit MixRig(int law)
        : Rig(L"X-Mix", {ug_cross_fade::PN_INPUT_A, ug_cross_fade::PN_INPUT_B, ug_cross_fade::PN_MIX},
              ug_cross_fade::PN_OUTPUT)
    {
        SetEnum(ug_cross_fade::PN_FADE_LAW, law);
    }
};
} // namespace

TEST(CrossFadeRegistration, TheModuleIsRegisteredWithItsFivePins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"X-Mix");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 5u);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetFlags() & 0x200u, 0x200u);
    EXPECT_EQ(info->getPinDescriptionById(3)->GetName(), L"Signal Out");
    EXPECT_EQ(info->getPinDescriptionById(4)->GetDefaultVal(), L"1");
}

TEST(CrossFadeFixedMix, EachLawMixesBothInputsByItsCurveAndTheEndsPassOneInputOnly)
{
    for (int law : {0, 1, 2})
    {
        for (float mix : {0.0f, 0.5f, -0.5f, 0.23f, 0.8f})
        {
            MixRig rig(law);
            rig.In(ug_cross_fade::PN_MIX).HoldConstant(mix);
            rig.In(ug_cross_fade::PN_INPUT_A).Stream(WaveA);
            rig.In(ug_cross_fade::PN_INPUT_B).Stream(WaveB);
            rig.graph.Run(192);
            for (int n = 96; n < 192; ++n)
                ASSERT_NEAR(rig.recorder->audio[n], Mixed(law, mix, WaveA(n), WaveB(n)), 1e-6) << law << " " << mix;
        }
    }
    EXPECT_NEAR(Mixed(2, 0.0, 1.0, 0.0), std::sqrt(0.5), 1e-9);
}

TEST(CrossFadeFixedMix, ChangingTheLawWithAStaticMixRecomputesTheGainsAtOnce)
{
    MixRig rig(1);
    rig.In(ug_cross_fade::PN_MIX).HoldConstant(0.1f);
    rig.In(ug_cross_fade::PN_INPUT_A).Stream(WaveA);
    rig.graph.Run(96);
    EXPECT_NEAR(rig.module->GainA(), FadeCurve(1, 0.6), 1e-6);
    for (int law : {0, 2})
    {
        rig.SetEnum(ug_cross_fade::PN_FADE_LAW, law);
        rig.graph.Run(96);
        EXPECT_NEAR(rig.module->GainA(), FadeCurve(law, 0.6), 1e-6);
        EXPECT_NEAR(rig.module->GainB(), FadeCurve(law, 0.4), 1e-6);
    }
}

TEST(CrossFadeStreaming, AStreamingMixFollowsTheCurvePerSampleAndHoldsTheEndGainsBeyondFiveVolts)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto mix = [&](int64_t t) -> float {
        const float wild[] = {nan, inf, -inf, 0.8f, -3e20f};
        return t % 11 < 5 ? wild[t % 11] : static_cast<float>(t % 103) / 100.0f - 0.5f;
    };
    for (int law : {0, 1, 2})
    {
        MixRig rig(law);
        rig.In(ug_cross_fade::PN_INPUT_A).Stream(WaveA);
        rig.In(ug_cross_fade::PN_INPUT_B).Stream(WaveB);
        rig.In(ug_cross_fade::PN_MIX).Stream(mix);
        rig.graph.Run(96 * 5);
        for (int n = 96; n < 96 * 5; ++n)
        {
            const float out = rig.recorder->audio[n];
            ASSERT_TRUE(std::isfinite(out)) << n;
            if (!std::isnan(mix(n)))
            {
                ASSERT_NEAR(out, Mixed(law, mix(n), WaveA(n), WaveB(n)), 1e-6) << law << " " << n;
            }
        }
    }
    // +8 V on a table law: all Input A.
    EXPECT_NEAR(Mixed(1, 0.8, 0.25, 0.5), 0.25, 1e-9);
}

TEST(CrossFadeSleep, StaticInputsAndMixWriteTheMixForOneBlockThenSleepUntilTheMixStreams)
{
    MixRig rig(1);
    rig.In(ug_cross_fade::PN_MIX).HoldConstant(-0.2f);
    rig.In(ug_cross_fade::PN_INPUT_A).Stream(WaveA);
    rig.In(ug_cross_fade::PN_INPUT_B).HoldConstant(0.5f);
    rig.graph.Run(192);
    rig.In(ug_cross_fade::PN_INPUT_A).HoldConstant(-0.25f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_NEAR(rig.recorder->audio.back(), Mixed(1, -0.2, -0.25, 0.5), 1e-6);

    rig.In(ug_cross_fade::PN_MIX).Stream(WaveA);
    rig.graph.Run(192);
    EXPECT_TRUE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STREAMING);
}

TEST(CrossFadePolyphony, TheModuleIsPolyphonyActiveWhenInputAAndInputBOrTheLawCarryVoices)
{
    for (int other : {ug_cross_fade::PN_INPUT_B, ug_cross_fade::PN_FADE_LAW})
    {
        MixRig rig(1);
        auto mark = [&](int pin) { rig.module->plugs_[pin]->plugFlags_ |= PF_PP_DOWNSTREAM; };
        mark(other);
        mark(ug_cross_fade::PN_MIX);
        EXPECT_FALSE(rig.module->PPGetActiveFlag());
        mark(ug_cross_fade::PN_INPUT_A);
        EXPECT_TRUE(rig.module->PPGetActiveFlag());
    }
}
