#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_clipper.h"
#include "signal/SignalRig.h"

namespace
{
using Rig = kvtest::SignalRig<ug_clipper>;

Rig MakeRig()
{
    return Rig(L"Clipper", {ug_clipper::PN_INPUT, ug_clipper::PN_HI_LIMIT, ug_clipper::PN_LO_LIMIT},
               ug_clipper::PN_OUTPUT);
}

float Ramp(int64_t t)
{
    return static_cast<float>(t % 200) * 0.01f - 1.0f;
}
} // namespace

TEST(Clipper, StreamingLimitsApplySampleBySampleAndCrossedLimitsFavourTheLowOne)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Clipper");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->getPinDescriptionById(2)->GetEnumList(), L"-100, 0, 0, -10");

    Rig rig = MakeRig();
    // Ordered limits, then crossed ones (lo 5 V above hi 2 V).
    auto hi = [](int64_t t) { return t % 300 < 150 ? 0.5f : 0.2f; };
    auto lo = [](int64_t t) { return t % 300 < 150 ? -0.2f : 0.5f; };
    rig.In(ug_clipper::PN_HI_LIMIT).Stream(hi);
    rig.In(ug_clipper::PN_LO_LIMIT).Stream(lo);
    rig.In(ug_clipper::PN_INPUT).Stream(Ramp);
    rig.graph.Run(900);
    for (int n = 0; n < 900; ++n)
    {
        const float x = Ramp(n);
        const float expected = x > hi(n) ? hi(n) : (lo(n) > x ? lo(n) : x);
        ASSERT_EQ(rig.recorder->audio[n], expected) << n;
    }
}

TEST(Clipper, StaticInputsWriteOneValueForOneBlockThenSleep)
{
    Rig rig = MakeRig();
    rig.In(ug_clipper::PN_HI_LIMIT).HoldConstant(0.5f);
    rig.In(ug_clipper::PN_LO_LIMIT).HoldConstant(-0.2f);
    rig.In(ug_clipper::PN_INPUT).Stream(Ramp);
    rig.graph.Run(192);
    EXPECT_TRUE(rig.module->IsListed());
    rig.In(ug_clipper::PN_INPUT).HoldConstant(0.7f);
    rig.graph.Run(96 * 4);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    const float* block = rig.module->plugs_[ug_clipper::PN_OUTPUT]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(block[i], 0.5f) << i;
}

TEST(Clipper, NonFiniteInputsGiveFiniteOutputsWithinFiniteLimits)
{
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ug_clipper::Clip(std::numeric_limits<float>::quiet_NaN(), 0.5f, -0.2f), 0.0f);
    EXPECT_EQ(ug_clipper::Clip(inf, 0.5f, -0.2f), 0.5f);
    EXPECT_EQ(ug_clipper::Clip(-inf, 0.5f, -0.2f), -0.2f);
}
