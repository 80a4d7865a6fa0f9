// The adder a container places in front of an audio input with several sources.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/GraphRig.h"
#include "engine/graph/ug_adder2.h"

using kvtest::GraphRig;
using kvtest::Recorder;
using kvtest::TestSource;

namespace
{
ug_adder2* AdderFeeding(Recorder* r)
{
    UPlug* in = r->plugs_[Recorder::PN_AUDIO];
    return in->connections_.size() == 1 ? dynamic_cast<ug_adder2*>(in->connections_[0]->owner_) : nullptr;
}

float A(int64_t t) { return 0.3f * std::sin(0.01f * static_cast<float>(t)); }
float B(int64_t t) { return 0.2f * std::cos(0.02f * static_cast<float>(t)); }
} // namespace

TEST(Adder, TwoStreamingSourcesAreSummedAndAStaticOneIsAddedAsAConstant)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    ug_base::connect(a->plugs_[0], r->plugs_[0]);
    ug_base::connect(b->plugs_[0], r->plugs_[0]);
    ug_adder2* adder = AdderFeeding(r);
    ASSERT_NE(adder, nullptr);
    EXPECT_EQ(adder->plugs_.size(), 3u);
    g.BuildAndOpen();
    a->Stream(A);
    b->Stream(B);
    g.Run(300);
    b->HoldConstant(0.5f);
    g.Run(300);

    ASSERT_EQ(r->audio.size(), 600u);
    for (size_t t = 0; t < 300; ++t)
        ASSERT_NEAR(r->audio[t], A(static_cast<int64_t>(t)) + B(static_cast<int64_t>(t)), 1e-6f) << t;
    for (size_t t = 300; t < 600; ++t)
        ASSERT_NEAR(r->audio[t], A(static_cast<int64_t>(t)) + 0.5f, 1e-6f) << t;
}

TEST(Adder, AThirdSourceBecomesAThirdInputOfTheSameAdder)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<TestSource>();
    auto* c = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    for (TestSource* s : {a, b, c})
        ug_base::connect(s->plugs_[0], r->plugs_[0]);
    ug_adder2* adder = AdderFeeding(r);
    ASSERT_NE(adder, nullptr);
    EXPECT_EQ(adder->plugs_.size(), 4u);
    int adders = 0;
    for (ug_base* m : g.top->Modules())
        adders += dynamic_cast<ug_adder2*>(m) ? 1 : 0;
    EXPECT_EQ(adders, 1);
}

TEST(Adder, WithEveryInputStaticItHoldsTheSumForABlockAndThenSleeps)
{
    GraphRig g(64);
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    ug_base::connect(a->plugs_[0], r->plugs_[0]);
    ug_base::connect(b->plugs_[0], r->plugs_[0]);
    ug_adder2* adder = AdderFeeding(r);
    g.BuildAndOpen();
    a->HoldConstant(0.25f);
    b->HoldConstant(-0.5f);
    g.Run(400);
    for (size_t t = 0; t < 400; ++t)
        ASSERT_FLOAT_EQ(r->audio[t], -0.25f) << t;
    EXPECT_FALSE(adder->IsListed());
}

TEST(Adder, AStaticNaNInputSelectsTheMixedSum)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    ug_base::connect(a->plugs_[0], r->plugs_[0]);
    ug_base::connect(b->plugs_[0], r->plugs_[0]);
    g.BuildAndOpen();
    a->Stream(A);
    b->HoldConstant(std::nanf(""));
    g.Run(100);
    EXPECT_TRUE(std::isnan(r->audio[50]));
}

TEST(Adder, ASecondSourceOnANonAudioInputKeepsTheFirst)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    ug_base::connect(a->plugs_[TestSource::PN_FLOAT], r->plugs_[Recorder::PN_FLOAT]);
    ug_base::connect(b->plugs_[TestSource::PN_FLOAT], r->plugs_[Recorder::PN_FLOAT]);
    UPlug* in = r->plugs_[Recorder::PN_FLOAT];
    ASSERT_EQ(in->connections_.size(), 1u);
    EXPECT_EQ(in->connections_[0], a->plugs_[TestSource::PN_FLOAT]);
}
