#include <gtest/gtest.h>

#include <cmath>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_test_tone.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_test_tone>;
}

TEST(TestTone, OutputIsAHalfScaleSineAdvancingOneKilohertzFromOpen)
{
    ASSERT_NE(CModuleFactory::Instance()->GetById(L"1 KHz Tone"), nullptr);
    Rig rig(L"1 KHz Tone", {}, ug_test_tone::PN_SIGNAL_OUT, 44100.0f);
    EXPECT_FLOAT_EQ(rig.module->Increment(), 6283.1855f / 44100.0f);
    rig.graph.Run(44100);
    const auto& out = rig.recorder->audio;
    ASSERT_EQ(out.size(), 44100u);

    const double step = 2.0 * 3.141592653589793 * 1000.0 / 44100.0;
    float peak = 0.0f;
    int rising = 0;
    for (size_t i = 0; i < out.size(); ++i)
    {
        // Sample i is taken after i + 1 steps of the phase.
        EXPECT_NEAR(out[i], 0.5 * std::sin(step * static_cast<double>(i + 1)), 2e-3) << i;
        peak = std::max(peak, std::fabs(out[i]));
        if (i > 0 && out[i - 1] < 0.0f && out[i] >= 0.0f)
            ++rising;
    }
    EXPECT_FLOAT_EQ(out[0], std::sin(6283.1855f / 44100.0f) * 0.5f);
    EXPECT_NEAR(peak, 0.5f, 1e-4);
    EXPECT_NEAR(rising, 1000, 1);
    // The phase stays wrapped into one cycle.
    EXPECT_GE(rig.module->Phase(), 0.0f);
    EXPECT_LE(rig.module->Phase(), 6.2831855f);
}

TEST(TestTone, TheOutputStreamsAndTheModuleNeverSleeps)
{
    Rig rig(L"1 KHz Tone", {}, ug_test_tone::PN_SIGNAL_OUT);
    rig.graph.Run(96 * 40);
    EXPECT_TRUE(rig.module->IsListed());
    ASSERT_FALSE(rig.recorder->changes.empty());
    EXPECT_EQ(rig.recorder->changes.front().state, ST_STREAMING);
    EXPECT_EQ(rig.StaticAnnouncements(), 0);
}
