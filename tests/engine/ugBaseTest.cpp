#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <tinyxml.h>

#include "core/conversion.h"
#include "core/my_streams.h"
#include "engine/TestGraph.h"

using kvtest::CountPending;
using kvtest::Recorder;
using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
// Writes one static run-out and then sleeps.
class RunOut : public Recorder
{
public:
    ug_base* Create() override { return new RunOut(); }
    void StartRunOut()
    {
        ResetStaticOutput();
        SetProcessFunction(&RunOut::process_static);
    }
    void process_static(int start, int count)
    {
        process_record(start, count);
        staticOutputCountdown_ -= count;
        if (staticOutputCountdown_ <= 0)
            SetProcessFunction(&ug_base::process_sleep);
    }
};

class BytesStream : public my_input_stream
{
public:
    explicit BytesStream(std::vector<char> bytes) : bytes_(std::move(bytes)) {}
    unsigned BytesRemaining() const override { return static_cast<unsigned>(bytes_.size() - position_); }

protected:
    void ReadRaw(void* to, unsigned size) override
    {
        std::memcpy(to, bytes_.data() + position_, size);
        position_ += size;
    }
    void SkipRaw(unsigned size) override { position_ += size; }

private:
    std::vector<char> bytes_;
    size_t position_ = 0;
};
} // namespace

TEST(ugBaseOpen, OpeningJoinsTheLoopSetsBufferPointersPostsGraphStartAndFeedsUnjoinedInputsSilence)
{
    TestGraph g(32);
    auto* s = g.Add<TestSource>(1);
    auto* joined = g.Add<Recorder>(0);
    auto* alone = g.Add<Recorder>(0);
    ug_base::connect(s->plugs_[TestSource::PN_AUDIO], joined->plugs_[Recorder::PN_AUDIO]);
    g.OpenAll();

    EXPECT_TRUE(s->IsListed());
    EXPECT_EQ(s->out_, s->plugs_[TestSource::PN_AUDIO]->GetSampleBlock()->GetBlock());
    EXPECT_EQ(joined->in_, s->out_);
    EXPECT_EQ(joined->FirstEvent()->eventType, UET_GRAPH_START);
    ASSERT_NE(alone->in_, nullptr);
    g.Run(32);
    EXPECT_EQ(alone->audio, std::vector<float>(32, 0.0f));
}

TEST(StaticRunOut, AStaticVariantWritesOneBlockThenTheModuleSleepsUntilTheNextEvent)
{
    TestGraph g(96);
    auto* m = g.Add<RunOut>(0);
    g.OpenAll();
    g.Run(96);

    m->StartRunOut();
    m->PostEvent(300, UET_UI_NOTIFY, 0, 0);
    g.Run(96);
    EXPECT_EQ(m->processFunction_, static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
    g.Run(96);
    // Out of the list while its event waits; that event wakes it in time.
    EXPECT_FALSE(m->IsListed()) << "asleep until the event at 300";
    ASSERT_FALSE(m->EventListEmpty());
    g.Run(96);
    EXPECT_TRUE(m->EventListEmpty()) << "the event at 300 was handled";
    EXPECT_FALSE(m->IsListed());
    EXPECT_EQ(m->sleeping_, 1);

    m->SetProcessFunction(&Recorder::process_record);
    m->runs.clear();
    m->PostEvent(g.master.SampleClock() + 10, UET_UI_NOTIFY, 0, 0);
    EXPECT_TRUE(m->IsListed());
    g.Run(96);
    EXPECT_EQ(m->runs.size(), 2u);
}

TEST(Suspension, EventsDoNotWakeASuspendedModuleAndResumeWakesItOnlyWithEventsPending)
{
    TestGraph g(32);
    auto* quiet = g.Add<Recorder>(1);
    auto* posted = g.Add<Recorder>(0);
    g.OpenAll();
    g.Run(32);
    for (Recorder* r : {quiet, posted})
    {
        r->SleepMode();
        r->Suspend();
    }
    posted->PostEvent(40, UET_UI_NOTIFY, 0, 0);
    EXPECT_FALSE(posted->IsListed());
    g.Run(32);
    EXPECT_TRUE(posted->HandledAt(40).empty());

    quiet->Resume(0);
    posted->Resume(0);
    EXPECT_FALSE(quiet->IsListed());
    EXPECT_TRUE(posted->IsListed());
    g.Run(32);
    EXPECT_EQ(posted->HandledAt(64).size(), 1u);
}

TEST(UiMessages, ANotificationWakesTheModuleAndReachesItAndItsClonesAtTheNextPiece)
{
    TestGraph g(32);
    auto* m = g.Add<Recorder>(1);
    auto* clone = g.Add<Recorder>(0);
    m->nextClone_ = clone;
    g.OpenAll();
    g.Run(32);
    m->SleepMode();

    const int32_t values[2] = {3, 4};
    BytesStream stream(std::vector<char>(reinterpret_cast<const char*>(values), reinterpret_cast<const char*>(values) + 8));
    m->OnUiMsg(id_to_long("noti"), stream);
    BytesStream truncated(std::vector<char>(6, 0));
    m->OnUiMsg(id_to_long("noti"), truncated);
    EXPECT_TRUE(m->IsListed());
    g.Run(32);

    for (Recorder* r : {m, clone})
    {
        ASSERT_EQ(r->HandledAt(32).size(), 1u);
        EXPECT_EQ(r->HandledAt(32)[0].arg1, 3);
    }
}

TEST(ugBaseSetup, TheDocumentRegistersTheHandleAndConfiguresAndAddsPins)
{
    TestGraph g(32);
    auto* s = static_cast<TestSource*>(kvtest::TestRecord<TestSource>().BuildSynthOb());
    g.modules.emplace_back(s);
    TiXmlDocument doc;
    doc.Parse("<Module Id='12'><Plugs><Plug Idx='1' Default='2.5'/><Plug Idx='40' Default='1'/>"
              "<Plug Direction='1' Datatype='5'/><Plug Direction='0' Datatype='99'/>"
              "<Plug Direction='7' Datatype='6'/></Plugs></Module>");
    s->Setup(&g.master, doc.RootElement());

    EXPECT_EQ(g.master.HandleToObject(12), s);
    ASSERT_EQ(s->plugs_.size(), 4u);
    EXPECT_EQ(s->plugs_[3]->index_, 3);
    EXPECT_EQ(s->floatOut_, 2.5f);
    EXPECT_NE(s->plugs_[3]->GetSampleBlock(), nullptr);
    EXPECT_EQ(s->GetPlug(std::wstring(L"Text Out")), s->plugs_[TestSource::PN_TEXT]);

    auto* temporary = g.Add<Recorder>(0);
    EXPECT_EQ(temporary->handle_, -20);
}
