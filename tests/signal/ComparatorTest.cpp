#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "modules/signal/ug_comparator.h"
#include "signal/SignalRig.h"

namespace
{
using Rig = kvtest::SignalRig<ug_comparator>;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

Rig MakeRig()
{
    return Rig(L"Comparator", {ug_comparator::PN_INPUT_A, ug_comparator::PN_INPUT_B}, ug_comparator::PN_OUTPUT);
}

void SetFloat(Rig& rig, int pin, float value)
{
    rig.module->SetPinValue(rig.module->sampleClock_, pin, DT_FLOAT, &value, 4);
}

float WaveA(int64_t t)
{
    return std::sin(0.03f * static_cast<float>(t));
}
// Equal to A at every 7th sample, NaN at every 11th.
float WaveB(int64_t t)
{
    return t % 11 == 0 ? kNan : (t % 7 == 0 ? WaveA(t) : std::cos(0.011f * static_cast<float>(t)));
}
} // namespace

TEST(Comparator, TwoStreamingInputsGiveHighOnlyWhereAIsAboveB)
{
    Rig rig = MakeRig();
    rig.In(ug_comparator::PN_INPUT_A).Stream(WaveA);
    rig.In(ug_comparator::PN_INPUT_B).Stream(WaveB);
    rig.graph.Run(700);
    for (int n = 0; n < 700; ++n)
        ASSERT_EQ(rig.recorder->audio[n], WaveA(n) > WaveB(n) ? 0.5f : -0.5f) << n;
}

TEST(Comparator, OneStreamingInputIsComparedWithTheOtherStaticValue)
{
    for (int streaming : {ug_comparator::PN_INPUT_A, ug_comparator::PN_INPUT_B})
    {
        Rig rig = MakeRig();
        SetFloat(rig, ug_comparator::PN_HI_OUT_VAL, 10.0f);
        SetFloat(rig, ug_comparator::PN_LO_OUT_VAL, 0.0f);
        const bool aStreams = streaming == ug_comparator::PN_INPUT_A;
        rig.In(aStreams ? ug_comparator::PN_INPUT_B : ug_comparator::PN_INPUT_A).HoldConstant(0.25f);
        rig.In(streaming).Stream(WaveA);
        rig.graph.Run(500);
        EXPECT_EQ(rig.recorder->changes.back().state, ST_STREAMING);
        for (int n = 0; n < 500; ++n)
        {
            const bool high = aStreams ? WaveA(n) > 0.25f : 0.25f > WaveA(n);
            ASSERT_EQ(rig.recorder->audio[n], high ? 1.0f : 0.0f) << n;
        }
    }
}

TEST(Comparator, AStaticComparatorSleepsAndWritesANewSetValueOverAFreshBlock)
{
    Rig rig = MakeRig();
    rig.In(ug_comparator::PN_INPUT_A).HoldConstant(0.6f);
    rig.In(ug_comparator::PN_INPUT_B).HoldConstant(0.2f);
    rig.graph.Run(96 * 4);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    const float* block = rig.module->plugs_[ug_comparator::PN_OUTPUT]->GetSampleBlock()->GetBlock();
    EXPECT_EQ(block[0], 0.5f);

    SetFloat(rig, ug_comparator::PN_HI_OUT_VAL, 3.0f);
    rig.graph.Run(96 * 4);
    EXPECT_FALSE(rig.module->IsListed());
    for (int i = 0; i < 96; ++i)
        ASSERT_FLOAT_EQ(block[i], 0.3f) << i;

    // A set value that is not finite plays as 0 V.
    SetFloat(rig, ug_comparator::PN_HI_OUT_VAL, std::numeric_limits<float>::infinity());
    rig.graph.Run(96 * 4);
    EXPECT_EQ(block[95], 0.0f);
}
