#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_random.h"

#include <algorithm>
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_random>;

Rig MakeRig()
{
    return Rig(L"random", {}, ug_random::PN_OUTPUT);
}

std::vector<float> ExpectedDraws(uint32_t seed, int n)
{
    std::vector<float> draws;
    for (int i = 0; i < n; ++i)
        draws.push_back(ug_random::Draw(ug_random::NextRandom(seed)));
    return draws;
}
} // namespace

TEST(Random, EachTrueEventDrawsTheNextLevelAndFalseEventsChangeNothing)
{
    Rig rig = MakeRig();
    rig.graph.Run(500);
    rig.module->SeedRandom(1234u);
    const std::vector<float> draws = ExpectedDraws(1234u, 2);

    rig.SetBool(ug_random::PN_TRIGGER, true);
    rig.graph.Run(300);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), draws[0]);
    EXPECT_FLOAT_EQ(rig.recorder->audio[500], draws[0]);

    rig.SetBool(ug_random::PN_TRIGGER, false);
    rig.graph.Run(300);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), draws[0]);

    // Already true before: a second true event still draws.
    rig.SetBool(ug_random::PN_TRIGGER, true);
    rig.graph.Run(300);
    rig.SetBool(ug_random::PN_TRIGGER, true);
    rig.graph.Run(300);
    EXPECT_FLOAT_EQ(rig.recorder->audio[1100], draws[1]);
    const std::vector<float> third = ExpectedDraws(1234u, 3);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), third[2]);
}

TEST(Random, HoldingALevelTheModuleWritesOneBlockAndSleepsUntilTheNextTrigger)
{
    Rig rig = MakeRig();
    rig.graph.Run(96 * 5);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_GE(rig.StaticAnnouncements(), 1);

    rig.module->SeedRandom(99u);
    const std::vector<float> draws = ExpectedDraws(99u, 1);
    rig.SetBool(ug_random::PN_TRIGGER, true);
    rig.graph.Run(96 * 5);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), draws[0]);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
}

TEST(Random, LevelsStayBelowOneEvenAtTheTopOfTheGeneratorRange)
{
    ASSERT_NE(CModuleFactory::Instance()->GetById(L"random"), nullptr);
    EXPECT_EQ(ug_random::Draw(0), 0.0f);
    EXPECT_LT(ug_random::Draw(RAND_MAX), 1.0f);
    EXPECT_LT(ug_random::Draw(INT_MAX), 1.0f);
    EXPECT_NEAR(ug_random::Draw(1 << 30), 0.5f, 1e-6);
}

TEST(Random, TheSharedGeneratorSpreadsLevelsOverTheUnitInterval)
{
    uint32_t state = 7u;
    double sum = 0.0;
    float lowest = 1.0f, highest = 0.0f;
    const int n = 20000;
    for (int i = 0; i < n; ++i)
    {
        const float level = ug_random::Draw(ug_random::NextRandom(state));
        lowest = std::min(lowest, level);
        highest = std::max(highest, level);
        sum += level;
    }
    EXPECT_GE(lowest, 0.0f);
    EXPECT_LT(highest, 1.0f);
    EXPECT_LT(lowest, 0.01f);
    EXPECT_GT(highest, 0.99f);
    EXPECT_NEAR(sum / n, 0.5, 0.01);
}

TEST(Random, EachEngineDrawsItsOwnSequence)
{
    // Two engines in one process, triggered in turn: each gets the levels it
    // would get alone, from the start of the sequence.
    Rig first = MakeRig();
    Rig second = MakeRig();
    const std::vector<float> draws = ExpectedDraws(ug_random::kFirstState, 3);
    for (int n = 0; n < 3; ++n)
    {
        for (Rig* rig : {&first, &second})
        {
            rig->SetBool(ug_random::PN_TRIGGER, false);
            rig->graph.Run(100);
            rig->SetBool(ug_random::PN_TRIGGER, true);
            rig->graph.Run(100);
            EXPECT_FLOAT_EQ(rig->recorder->audio.back(), draws[static_cast<size_t>(n)]) << n;
        }
    }
}
