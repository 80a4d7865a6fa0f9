// Graph building inside a container: defaults for unfed inputs through the
// default setter, sort order, upstream flags and bypass routes.
#include <gtest/gtest.h>

#include "engine/GraphRig.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_default_setter.h"

using kvtest::GraphRig;
using kvtest::Recorder;
using kvtest::TestSource;

namespace
{
// One audio input and one audio output, copied through.
class PassThru : public ug_base
{
public:
    PassThru() { SetProcessFunction(&PassThru::process_copy); }
    ug_base* Create() override { return new PassThru(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    }
    void process_copy(int start, int count)
    {
        for (int i = start; i < start + count; ++i)
            out_[i] = in_[i];
    }
    float* in_ = nullptr;
    float* out_ = nullptr;
};

ug_default_setter* DefaultSetterOf(GraphRig& g)
{
    for (ug_base* m : g.top->Modules())
    {
        if (auto* setter = dynamic_cast<ug_default_setter*>(m))
            return setter;
    }
    return nullptr;
}
} // namespace

TEST(Container, UnconnectedInputsGetTheirDefaultsOnceAtTheOpenTime)
{
    GraphRig g;
    auto* r = g.Add<Recorder>();
    UPlug* floatIn = r->plugs_[Recorder::PN_FLOAT];
    floatIn->documentDefault_ = "3.5";
    floatIn->hasDocumentDefault_ = true;
    UPlug* audioIn = r->plugs_[Recorder::PN_AUDIO];
    audioIn->documentDefault_ = "5";
    audioIn->hasDocumentDefault_ = true;
    g.BuildAndOpen();

    ug_default_setter* setter = DefaultSetterOf(g);
    ASSERT_NE(setter, nullptr);
    // Float, text, double and blob inputs; audio too.
    EXPECT_EQ(setter->plugs_.size(), 5u);
    ASSERT_EQ(floatIn->connections_.size(), 1u);
    EXPECT_EQ(floatIn->connections_[0]->owner_, setter);

    g.Run(500);
    EXPECT_FLOAT_EQ(r->floatIn_, 3.5f);
    int floatChanges = 0;
    for (const auto& change : r->changes)
    {
        if (change.pin == Recorder::PN_FLOAT)
        {
            ++floatChanges;
            EXPECT_EQ(change.time, 0);
        }
    }
    EXPECT_EQ(floatChanges, 1);
    for (float v : r->audio)
        ASSERT_FLOAT_EQ(v, 0.5f);
    EXPECT_FALSE(setter->IsListed());
}

TEST(Container, ADocumentDefaultOnAnInputThatALineFeedsIsNotSummedWithIt)
{
    GraphRig g;
    auto* s = g.Add<TestSource>();
    auto* r = g.Add<Recorder>();
    r->plugs_[Recorder::PN_AUDIO]->documentDefault_ = "5";
    r->plugs_[Recorder::PN_AUDIO]->hasDocumentDefault_ = true;
    ug_base::connect(s->plugs_[0], r->plugs_[Recorder::PN_AUDIO]);
    g.BuildAndOpen();
    s->HoldConstant(0.1f);
    g.Run(100);
    EXPECT_FLOAT_EQ(r->audio[50], 0.1f);
}

TEST(Container, SortOrderRunsEveryModuleAfterTheModulesFeedingIt)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<PassThru>();
    auto* c = g.Add<Recorder>();
    auto* automator = g.Add<TestSource>();
    automator->flags_ |= ug_base::UGF_AUTOMATOR;
    ug_base::connect(b->plugs_[1], c->plugs_[0]);
    ug_base::connect(a->plugs_[0], b->plugs_[0]);
    ug_base::connect(automator->plugs_[TestSource::PN_FLOAT], c->plugs_[Recorder::PN_FLOAT]);
    g.top->ReRoutePlugs();
    g.top->SortOrderSetup();
    EXPECT_EQ(c->sortOrder_, 0);
    EXPECT_EQ(b->sortOrder_, 1);
    EXPECT_EQ(a->sortOrder_, 2);
    EXPECT_EQ(automator->sortOrder_, 201);
}

TEST(Container, ALoopLeavesItsModulesMarkedAndBuildingEnds)
{
    GraphRig g;
    auto* x = g.Add<PassThru>();
    auto* y = g.Add<PassThru>();
    ug_base::connect(x->plugs_[1], y->plugs_[0]);
    ug_base::connect(y->plugs_[1], x->plugs_[0]);
    g.BuildAndOpen();
    EXPECT_EQ(x->sortOrder_, -2);
    EXPECT_EQ(y->sortOrder_, -2);
    g.Run(200);
}

TEST(Container, FlagUpStreamMarksEveryModuleFeedingTheStartAndNothingDownstream)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* b = g.Add<PassThru>();
    auto* c = g.Add<PassThru>();
    auto* d = g.Add<Recorder>();
    ug_base::connect(a->plugs_[0], b->plugs_[0]);
    ug_base::connect(b->plugs_[1], c->plugs_[0]);
    ug_base::connect(c->plugs_[1], d->plugs_[0]);
    c->FlagUpStream(ug_base::UGF_SNAPSHOT_UPSTREAM);
    EXPECT_TRUE(a->flags_ & ug_base::UGF_SNAPSHOT_UPSTREAM);
    EXPECT_TRUE(b->flags_ & ug_base::UGF_SNAPSHOT_UPSTREAM);
    EXPECT_TRUE(c->flags_ & ug_base::UGF_SNAPSHOT_UPSTREAM);
    EXPECT_FALSE(d->flags_ & ug_base::UGF_SNAPSHOT_UPSTREAM);
}

TEST(Container, ABypassRouteLetsDownstreamInputsReadTheSourceBlockUntilCleared)
{
    GraphRig g;
    auto* a = g.Add<TestSource>();
    auto* m = g.Add<PassThru>();
    auto* r = g.Add<Recorder>();
    ug_base::connect(a->plugs_[0], m->plugs_[0]);
    ug_base::connect(m->plugs_[1], r->plugs_[0]);
    g.BuildAndOpen();
    const float* sourceBlock = a->plugs_[0]->GetSampleBlock()->GetBlock();
    const float* ownBlock = m->plugs_[1]->GetSampleBlock()->GetBlock();
    EXPECT_EQ(r->in_, ownBlock);

    EXPECT_TRUE(m->AddBypassRoute(0, 1));
    EXPECT_EQ(r->in_, sourceBlock);
    EXPECT_EQ(r->plugs_[0]->GetSampleBlock()->GetBlock(), sourceBlock);
    EXPECT_TRUE(m->AddBypassRoute(0, 1));

    m->ClearBypassRoutes(0, 1);
    EXPECT_EQ(r->in_, ownBlock);
    EXPECT_EQ(m->plugs_[0]->proxy_, nullptr);
}
