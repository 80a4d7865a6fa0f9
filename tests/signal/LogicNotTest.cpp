#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_logic_not.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_logic_not>;

Rig MakeRig()
{
    return Rig(L"NOT Gate", {ug_logic_not::PN_INPUT}, ug_logic_not::PN_OUTPUT);
}
} // namespace

TEST(LogicNot, TheOutputIsTheInvertedSchmittLevelAtTheExactSample)
{
    Rig rig = MakeRig();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> in = {0.2f, 0.33f, 0.34f, nan, 0.17f, 0.16666667f, 0.1f, nan, 0.3f, 1e30f, -1e30f};
    const std::vector<float> out = {0.5f, 0.5f, 0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0, 0.5f};
    rig.In(ug_logic_not::PN_INPUT).Stream(
        [&](int64_t t) { return t < static_cast<int64_t>(in.size()) ? in[static_cast<size_t>(t)] : 0.0f; });
    rig.graph.Run(96);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(rig.recorder->audio[i], out[i]) << i;
    // Each change is announced static at its sample.
    std::vector<int64_t> times;
    for (const auto& c : rig.recorder->changes)
    {
        if (c.state == ST_STATIC)
            times.push_back(c.time);
    }
    EXPECT_EQ(times, (std::vector<int64_t>{0, 2, 6, 9, 10}));
}

TEST(LogicNot, AStaticInputSleepsOneBlockAfterTheLastChangeAndAnEventWakesIt)
{
    Rig rig = MakeRig();
    rig.In(ug_logic_not::PN_INPUT).Stream([](int64_t t) { return std::sin(0.05f * static_cast<float>(t)); });
    rig.graph.Run(480);
    EXPECT_TRUE(rig.module->IsListed());
    rig.In(ug_logic_not::PN_INPUT).HoldConstant(0.9f);
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
    const float* block = rig.module->plugs_[ug_logic_not::PN_OUTPUT]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(block[i], 0.0f);

    rig.In(ug_logic_not::PN_INPUT).HoldConstant(0.0f);
    EXPECT_TRUE(rig.module->IsListed());
    rig.graph.Run(480);
    EXPECT_EQ(rig.recorder->audio[959], 0.0f);
    EXPECT_EQ(rig.recorder->audio[960], 0.5f);
    EXPECT_EQ(rig.recorder->changes.back().time, 960);
    EXPECT_FALSE(rig.module->IsListed());
}
