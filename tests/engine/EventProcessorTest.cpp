#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/TestGraph.h"

using kvtest::Recorder;
using kvtest::TestGraph;

namespace
{
class DelayedCounter : public Recorder
{
public:
    ug_base* Create() override { return new DelayedCounter(); }
    void Tick() { tickTimes.push_back(sampleClock_); }
    std::vector<int64_t> tickTimes;
};
} // namespace

TEST(EventOrder, PinEventsOfOneTimeComeFirstInPinOrderThenOtherEventsInPostingOrder)
{
    TestGraph g;
    auto* r = g.Add<Recorder>(0);
    g.OpenAll();

    const double d = 2.0;
    const float f = 1.0f;
    const std::wstring first = L"first";
    const std::wstring second = L"xyz";
    r->PostEvent(20, UET_UI_NOTIFY, 1, 0);
    r->SetPinValue(20, Recorder::PN_DOUBLE, DT_DOUBLE, &d, sizeof(d));
    r->PostEvent(20, UET_UI_NOTIFY, 2, 0);
    r->SetPinValue(20, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);
    r->SetPinValue(20, Recorder::PN_TEXT, DT_TEXT, first.data(), static_cast<int>(first.size() * 4));
    r->SetPinValue(20, Recorder::PN_TEXT, DT_TEXT, second.data(), static_cast<int>(second.size() * 4));
    g.Run(32);

    const auto at20 = r->HandledAt(20);
    ASSERT_EQ(at20.size(), 5u);
    EXPECT_EQ(at20[0].arg1, Recorder::PN_FLOAT);
    EXPECT_EQ(at20[1].arg1, Recorder::PN_TEXT);
    EXPECT_EQ(at20[2].arg1, Recorder::PN_DOUBLE);
    EXPECT_EQ(at20[3].type, UET_UI_NOTIFY);
    EXPECT_EQ(at20[3].arg1, 1);
    EXPECT_EQ(at20[4].arg1, 2);
    // The second text replaced the first: one change, the newer value.
    EXPECT_EQ(r->textIn_, second);
    EXPECT_EQ(r->changes.size(), 3u);
}

TEST(ModuleProcessing, EventsCutTheRunAndAllValuesDueAreSetBeforeAnyHandlerRuns)
{
    TestGraph g(32);
    auto* r = g.Add<Recorder>(0);
    g.OpenAll();

    const float f = 2.5f;
    const double d = 7.0;
    r->SetPinValue(10, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);
    r->SetPinValue(10, Recorder::PN_DOUBLE, DT_DOUBLE, &d, sizeof(d));
    r->PostEvent(32, UET_UI_NOTIFY, 1, 0);
    g.Run(32);

    ASSERT_EQ(r->runs.size(), 2u);
    EXPECT_EQ(r->runs[0].count, 10);
    EXPECT_EQ(r->runs[1].start, 10);
    EXPECT_EQ(r->runs[1].count, 22);
    ASSERT_EQ(r->changes.size(), 2u);
    for (const auto& change : r->changes)
    {
        EXPECT_EQ(change.floatValue, 2.5f);
        EXPECT_EQ(change.doubleValue, 7.0);
    }
    // An event due at the end of the piece waits for the next, before its processing.
    EXPECT_TRUE(r->HandledAt(32).empty());
    g.Run(32);
    EXPECT_EQ(r->HandledAt(32).size(), 1u);
    EXPECT_EQ(r->runs.back().clock, 32);
    EXPECT_EQ(r->runs.back().count, 32);
}

TEST(ModuleProcessing, AnEventPostedBehindTheClockIsHandledAtOnceWithoutANegativeRun)
{
    TestGraph g(32);
    auto* r = g.Add<Recorder>(0);
    g.OpenAll();
    g.Run(64);

    r->PostEvent(5, UET_UI_NOTIFY, 1, 0);
    g.Run(32);

    EXPECT_EQ(r->HandledAt(64).size(), 1u);
    for (const auto& run : r->runs)
        EXPECT_GT(run.count, 0);
    EXPECT_EQ(r->sampleClock_, 96);
}

TEST(DelayedCalls, RunDelayedCallsTheMemberFunctionAtItsTime)
{
    TestGraph g(32);
    auto* d = g.Add<DelayedCounter>(0);
    g.OpenAll();

    d->RunDelayed<&DelayedCounter::Tick>(20);
    d->RunDelayed<&DelayedCounter::Tick>(45);
    g.Run(64);

    EXPECT_EQ(d->tickTimes, (std::vector<int64_t>{20, 45}));
}

TEST(EventProcessor, ASuspendedModuleKeepsOnlyTheLatestValuePerPinUpToTheBlockStart)
{
    TestGraph g(96);
    auto* r = g.Add<Recorder>(0);
    g.OpenAll();
    g.Run(100);
    r->Suspend();
    g.Run(200); // the module stays at 100; the block start is 288

    const float f = 1.0f;
    const double d = 1.0;
    r->SetPinValue(150, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);
    r->SetPinValue(200, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);
    r->SetPinValue(120, Recorder::PN_DOUBLE, DT_DOUBLE, &d, sizeof(d));
    r->SetPinValue(288, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);
    r->SetPinValue(295, Recorder::PN_FLOAT, DT_FLOAT, &f, 4);

    std::vector<std::pair<int64_t, int>> pending;
    for (KorvaneEvent* e = r->FirstEvent(); e; e = r->NextEvent(e))
        pending.emplace_back(e->sampleTime, e->arg1);
    const std::vector<std::pair<int64_t, int>> expected = {
        {120, Recorder::PN_DOUBLE}, {288, Recorder::PN_FLOAT}, {295, Recorder::PN_FLOAT}};
    EXPECT_EQ(pending, expected);
}
