#include <gtest/gtest.h>

#include <string>

#include "engine/TestGraph.h"

using kvtest::CountPending;
using kvtest::Recorder;
using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
struct Joined : ::testing::Test
{
    Joined()
    {
        source = graph.Add<TestSource>(2);
        recorder = graph.Add<Recorder>(1);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], recorder->plugs_[Recorder::PN_AUDIO]);
    }
    UPlug* AudioOut() { return source->plugs_[TestSource::PN_AUDIO]; }

    TestGraph graph{32};
    TestSource* source = nullptr;
    Recorder* recorder = nullptr;
};
} // namespace

TEST_F(Joined, StateAnnouncementsAreNotRepeatedButEachChangeReachesTheInput)
{
    AudioOut()->TransmitState(10, ST_STATIC);
    AudioOut()->TransmitState(10, ST_STATIC);
    EXPECT_EQ(CountPending(*recorder, UET_EVENT_STREAMING_STOP), 1);
    EXPECT_EQ(AudioOut()->state_, ST_STOPPED);

    AudioOut()->TransmitState(11, ST_STREAMING);
    AudioOut()->TransmitState(12, ST_STREAMING);
    EXPECT_EQ(CountPending(*recorder, UET_EVENT_STREAMING_START), 1);

    AudioOut()->TransmitState(13, ST_STOPPED);
    AudioOut()->TransmitState(14, ST_STOPPED);
    EXPECT_EQ(CountPending(*recorder, UET_EVENT_STREAMING_STOP), 2);
}

TEST_F(Joined, TheInputReadsTheSourceBlockInPlaceAndSeesStreamingThenStatic)
{
    graph.OpenAll();
    source->Stream([](int64_t t) { return static_cast<float>(t); });
    graph.Run(32);
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->state_, ST_STREAMING);
    source->HoldConstant(0.5f);
    graph.Run(32);

    ASSERT_EQ(recorder->changes.size(), 2u);
    EXPECT_EQ(recorder->changes[0].state, ST_STREAMING);
    EXPECT_EQ(recorder->changes[1].state, ST_STATIC);
    EXPECT_EQ(recorder->changes[1].time, 32);
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->state_, ST_STOPPED);
    EXPECT_EQ(recorder->audio[5], 5.0f);
    EXPECT_EQ(recorder->audio[40], 0.5f);
}

TEST_F(Joined, JoiningCopiesTheCurrentValueAndRefusesWrongDirectionsTypesAndUnsummedSources)
{
    source->textOut_ = L"hello";
    ug_base::connect(source->plugs_[TestSource::PN_TEXT], recorder->plugs_[Recorder::PN_TEXT]);
    EXPECT_EQ(recorder->textIn_, L"hello");
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->GetSampleBlock(), AudioOut()->GetSampleBlock());

    ug_base::connect(source->plugs_[TestSource::PN_FLOAT], recorder->plugs_[Recorder::PN_DOUBLE]);
    ug_base::connect(recorder->plugs_[Recorder::PN_FLOAT], source->plugs_[TestSource::PN_FLOAT]);
    EXPECT_FALSE(recorder->plugs_[Recorder::PN_DOUBLE]->InUse());
    EXPECT_FALSE(source->plugs_[TestSource::PN_FLOAT]->InUse());

    // A second audio source needs an adder, which only a container places.
    auto* other = graph.Add<TestSource>(2);
    ug_base::connect(other->plugs_[TestSource::PN_AUDIO], recorder->plugs_[Recorder::PN_AUDIO]);
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->connections_.size(), 1u);
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->GetSampleBlock(), AudioOut()->GetSampleBlock());
}

TEST_F(Joined, DestroyingAModuleUnlinksItsPinsFromTheirPartners)
{
    graph.modules.erase(graph.modules.begin());
    EXPECT_FALSE(recorder->plugs_[Recorder::PN_AUDIO]->InUse());
    EXPECT_EQ(recorder->plugs_[Recorder::PN_AUDIO]->GetSampleBlock(), nullptr);
}

TEST_F(Joined, ValuesOfEachDatatypeReachTheInputVariablesAndMalformedOnesDoNoHarm)
{
    graph.OpenAll();
    const std::wstring text = L"a longer text than four bytes";
    const double d = 1.0 / 3.0;
    const char blob[] = {1, 2, 3, 4, 5, 6};
    recorder->SetPinValue(3, Recorder::PN_TEXT, DT_TEXT, text.data(), static_cast<int>(text.size() * 4));
    recorder->SetPinValue(3, Recorder::PN_DOUBLE, DT_DOUBLE, &d, sizeof(d));
    recorder->SetPinValue(3, Recorder::PN_BLOB, DT_BLOB, blob, sizeof(blob));
    graph.Run(32);
    EXPECT_EQ(recorder->textIn_, text);
    EXPECT_EQ(recorder->doubleIn_, d);
    EXPECT_TRUE(recorder->blobIn_.compare(blob, sizeof(blob)));

    const int32_t small = 7;
    recorder->SetPinValue(40, Recorder::PN_DOUBLE, DT_DOUBLE, &small, 4);
    recorder->SetPinValue(40, Recorder::PN_TEXT, DT_TEXT, nullptr, -12);
    recorder->SetPinValue(40, 99, DT_FLOAT, &small, 4);
    graph.Run(32);
    EXPECT_EQ(recorder->doubleIn_, d);
    EXPECT_EQ(recorder->textIn_, L"");
}

TEST_F(Joined, ADefaultReachesTheFeedingOutputWhichSendsItOnce)
{
    ug_base::connect(source->plugs_[TestSource::PN_TEXT], recorder->plugs_[Recorder::PN_TEXT]);
    recorder->plugs_[Recorder::PN_TEXT]->SetDefault("d\xC3\xA9j\xC3\xA0");
    recorder->plugs_[Recorder::PN_AUDIO]->SetDefault("5");

    EXPECT_EQ(source->textOut_, L"d\u00e9j\u00e0");
    EXPECT_NE(source->plugs_[TestSource::PN_TEXT]->plugFlags_ & PF_VALUE_PENDING, 0u);
    for (int i = 0; i < 32; ++i)
        ASSERT_FLOAT_EQ(AudioOut()->GetSampleBlock()->GetBlock()[i], 0.5f);

    graph.OpenAll();
    source->SendPendingOutputChanges();
    graph.Run(32);
    EXPECT_EQ(recorder->textIn_, L"d\u00e9j\u00e0");
    EXPECT_EQ(recorder->changes.size(), 2u);
    EXPECT_EQ(source->plugs_[TestSource::PN_TEXT]->plugFlags_ & PF_VALUE_PENDING, 0u);
}
