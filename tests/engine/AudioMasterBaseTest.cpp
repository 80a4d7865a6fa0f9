#include <gtest/gtest.h>

#include <vector>

#include "engine/TestGraph.h"

using kvtest::Recorder;
using kvtest::TestGraph;

namespace
{
// Posts a notification to a target when its run covers a given time.
class Poster : public Recorder
{
public:
    Poster() { SetProcessFunction(&Poster::process_post); }
    ug_base* Create() override { return new Poster(); }
    void process_post(int start, int count)
    {
        process_record(start, count);
        if (target && when >= sampleClock_ && when < sampleClock_ + count)
            target->PostEvent(when, UET_UI_NOTIFY, 42, 0);
    }
    ug_base* target = nullptr;
    int64_t when = -1;
};

std::vector<int> Counts(const Recorder& r)
{
    std::vector<int> counts;
    for (const auto& run : r.runs)
        counts.push_back(run.count);
    return counts;
}
} // namespace

TEST(CalcBlockSize, SmallHostBlocksStayAndLargeOnesAreCutIntoWholeBlocksOfAboutNinetySix)
{
    EXPECT_EQ(AudioMasterBase::CalcBlockSize(64), 64);
    EXPECT_EQ(AudioMasterBase::CalcBlockSize(512), 128);
    EXPECT_EQ(AudioMasterBase::CalcBlockSize(1024), 128);
    EXPECT_EQ(AudioMasterBase::CalcBlockSize(441), 63);
    EXPECT_EQ(AudioMasterBase::CalcBlockSize(100), 100);
    for (int n = 96; n < 5000; ++n)
        ASSERT_EQ(n % AudioMasterBase::CalcBlockSize(n), 0) << n;
    // No host size may give an empty block: the block loop would never advance.
    EXPECT_GT(AudioMasterBase::CalcBlockSize(0), 0);
    EXPECT_GT(AudioMasterBase::CalcBlockSize(-5), 0);
}

TEST(BlockLoop, HostBlocksAreCutAtTheGridOfInternalBlocks)
{
    TestGraph g(96);
    auto* r = g.Add<Recorder>(0);
    g.OpenAll();

    g.Run(512);
    EXPECT_EQ(Counts(*r), (std::vector<int>{96, 96, 96, 96, 96, 32}));
    r->runs.clear();
    g.Run(100);
    EXPECT_EQ(Counts(*r), (std::vector<int>{64, 36}));
    EXPECT_EQ(r->runs[0].start, 32);
    EXPECT_EQ(r->runs[1].start, 0);
    EXPECT_EQ(g.master.BlockStartClock(), 576);
    EXPECT_EQ(g.master.SampleClock(), 612);

    g.Run(0);
    g.Run(-10);
    EXPECT_EQ(g.master.SampleClock(), 612);
}

TEST(WakingDuringAPiece, AModuleSortedAfterTheRunningOneRunsInTheSamePiece)
{
    TestGraph g(32);
    auto* poster = g.Add<Poster>(5);
    auto* sleeper = g.Add<Recorder>(1);
    g.OpenAll();
    g.Run(32);
    sleeper->SleepMode();
    ASSERT_FALSE(sleeper->IsListed());
    sleeper->runs.clear();

    poster->target = sleeper;
    poster->when = 40;
    g.Run(32);

    EXPECT_EQ(sleeper->handled.back().time, 40);
    EXPECT_EQ(Counts(*sleeper), (std::vector<int>{8, 24}));
    EXPECT_EQ(sleeper->runs[0].clock, 32);
}

TEST(WakingDuringAPiece, AModuleSortedBeforeTheRunningOneStartsWithTheNextPieceItsEventRetimed)
{
    TestGraph g(32);
    auto* sleeper = g.Add<Recorder>(9);
    auto* poster = g.Add<Poster>(2);
    g.OpenAll();
    g.Run(32);
    sleeper->SleepMode();
    sleeper->runs.clear();

    poster->target = sleeper;
    poster->when = 40;
    g.Run(32);
    EXPECT_TRUE(sleeper->IsListed());
    EXPECT_TRUE(sleeper->runs.empty());
    EXPECT_EQ(sleeper->sampleClock_, 64);

    g.Run(32);
    EXPECT_EQ(sleeper->handled.back().time, 64);
    EXPECT_EQ(Counts(*sleeper), (std::vector<int>{32}));
}

TEST(Handles, TheFirstObjectUnderAHandleKeepsItAndTemporaryHandlesCountDownFromMinusTwenty)
{
    AudioMasterBase master(48000.0f);
    dsp_msg_target first, second, a, b, c;
    master.RegisterDspMsgHandle(&first, 7);
    master.RegisterDspMsgHandle(&second, 7);
    EXPECT_EQ(master.HandleToObject(7), &first);
    EXPECT_EQ(second.handle_, 7);
    EXPECT_EQ(master.HandleToObject(8), nullptr);

    master.AssignTemporaryHandle(&a);
    master.AssignTemporaryHandle(&b);
    master.AssignTemporaryHandle(&c);
    EXPECT_EQ(a.handle_, -20);
    EXPECT_EQ(c.handle_, -22);
    EXPECT_EQ(master.HandleToObject(-21), &b);
}

namespace
{
// A module whose copies run in rows: logs its runs in a log shared by the row,
// and may send another module to sleep as it runs.
class RowMember : public Recorder
{
public:
    RowMember() { SetProcessFunction<&RowMember::process_row>(); }
    ug_base* Create() override { return new RowMember(); }
    void process_row(int start, int count)
    {
        process_record(start, count);
        log->push_back(this);
        if (victim)
            victim->SleepMode();
    }
    std::vector<RowMember*>* log = nullptr;
    ug_base* victim = nullptr;
};
} // namespace

TEST(Rows, CopiesRunInListOrderAndARowLeavesOutOneWithAnEventAndOneSentToSleep)
{
    TestGraph g(32);
    std::vector<RowMember*> log;
    std::vector<RowMember*> row;
    for (int i = 0; i < 5; ++i)
    {
        row.push_back(g.Add<RowMember>(3));
        row.back()->log = &log;
    }
    auto* after = g.Add<Recorder>(1);
    g.OpenAll();
    g.Run(32);
    EXPECT_EQ(log, row);

    // The second has an event within the next piece, and the fourth sends the
    // fifth to sleep: the second runs alone, cut at the event; the fifth
    // does not run.
    log.clear();
    for (RowMember* m : row)
        m->runs.clear();
    row[1]->PostEvent(40, UET_UI_NOTIFY, 7, 0);
    row[3]->victim = row[4];
    g.Run(32);
    EXPECT_EQ(log, (std::vector<RowMember*>{row[0], row[1], row[1], row[2], row[3]}));
    EXPECT_EQ(Counts(*row[1]), (std::vector<int>{8, 24}));
    EXPECT_EQ(row[1]->handled.back().time, 40);
    for (int i : {0, 2, 3})
    {
        EXPECT_EQ(Counts(*row[i]), (std::vector<int>{32})) << i;
        EXPECT_EQ(row[i]->sampleClock_, 64) << i;
    }
    EXPECT_FALSE(row[4]->IsListed());
    EXPECT_TRUE(row[4]->runs.empty());
    EXPECT_EQ(Counts(*after).size(), 2u);
}
