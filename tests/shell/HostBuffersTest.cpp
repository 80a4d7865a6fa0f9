#include <gtest/gtest.h>

#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(HostMemoryStream, ReadsStopAtTheEndAndReportWhatWasRead)
{
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream({'a', 'b', 'c'}));
    char buffer[8] = {};
    int32 got = -1;
    EXPECT_EQ(stream->read(buffer, 2, &got), kResultOk);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(stream->read(buffer, 8, &got), kResultOk);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(buffer[0], 'c');
    EXPECT_EQ(stream->read(buffer, 8, &got), kResultOk);
    EXPECT_EQ(got, 0);
}

TEST(HostMemoryStream, NegativeCountsAndPositionsOutsideTheStreamAreRefused)
{
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream({'a', 'b', 'c'}));
    char buffer[4] = {};
    int32 got = -1;
    EXPECT_EQ(stream->read(buffer, -1, &got), kInvalidArgument);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(stream->read(nullptr, 2, &got), kInvalidArgument);
    EXPECT_EQ(stream->write(buffer, -5, &got), kInvalidArgument);

    int64 position = -1;
    EXPECT_EQ(stream->seek(-1, IBStream::kIBSeekSet, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(4, IBStream::kIBSeekSet, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(INT64_MAX, IBStream::kIBSeekEnd, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(0, 99, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(-1, IBStream::kIBSeekEnd, &position), kResultOk);
    EXPECT_EQ(position, 2);
    EXPECT_EQ(stream->read(buffer, 4, &got), kResultOk);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(buffer[0], 'c');
}

TEST(HostMemoryStream, WritesGrowTheStreamFromTheCursor)
{
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream());
    char text[] = "hello";
    int32 written = 0;
    EXPECT_EQ(stream->write(text, 5, &written), kResultOk);
    EXPECT_EQ(written, 5);
    stream->seek(1, IBStream::kIBSeekSet, nullptr);
    char patch[] = "EYY";
    stream->write(patch, 3, &written);
    stream->seek(0, IBStream::kIBSeekEnd, nullptr);
    stream->write(patch, 1, &written);
    EXPECT_EQ(std::string(stream->bytes().begin(), stream->bytes().end()), "hEYYoE");
}

TEST(HostParameterChanges, EachParameterHasOneQueueWithPointsInOffsetOrder)
{
    HostParameterChanges changes;
    EXPECT_TRUE(changes.add(7, 100, 0.5));
    EXPECT_TRUE(changes.add(3, 0, 0.1));
    EXPECT_TRUE(changes.add(7, 10, 0.25));
    EXPECT_TRUE(changes.add(7, 100, 0.75)); // same offset: replaces

    ASSERT_EQ(changes.getParameterCount(), 2);
    IParamValueQueue* queue = changes.getParameterData(0);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->getParameterId(), 7u);
    ASSERT_EQ(queue->getPointCount(), 2);
    int32 offset = 0;
    ParamValue value = 0.0;
    queue->getPoint(0, offset, value);
    EXPECT_EQ(offset, 10);
    EXPECT_EQ(value, 0.25);
    queue->getPoint(1, offset, value);
    EXPECT_EQ(offset, 100);
    EXPECT_EQ(value, 0.75);
    EXPECT_EQ(queue->getPoint(2, offset, value), kInvalidArgument);
    EXPECT_EQ(changes.getParameterData(2), nullptr);
    EXPECT_EQ(changes.getParameterData(-1), nullptr);

    changes.clear();
    EXPECT_EQ(changes.getParameterCount(), 0);
    changes.add(9, 5, 1.0);
    EXPECT_EQ(changes.getParameterData(0)->getParameterId(), 9u);
    EXPECT_EQ(changes.getParameterData(0)->getPointCount(), 1);
}

TEST(HostParameterChanges, QueuesAndPointsAreBounded)
{
    HostParameterChanges changes;
    for (ParamID id = 0; id < HostParameterChanges::kMaxQueues; ++id)
        ASSERT_TRUE(changes.add(id, 0, 0.0));
    int32 index = -1;
    EXPECT_EQ(changes.addParameterData(999999, index), nullptr);
    EXPECT_FALSE(changes.add(999999, 0, 0.0));

    HostParamValueQueue queue(1);
    for (int32 i = 0; i < static_cast<int32>(HostParamValueQueue::kMaxPoints); ++i)
        ASSERT_EQ(queue.addPoint(i, 0.0, index), kResultOk);
    EXPECT_EQ(queue.addPoint(-1, 0.0, index), kResultFalse);
    EXPECT_EQ(queue.addPoint(5, 1.0, index), kResultOk); // replacing needs no room
}

TEST(HostEventList, EventsComeBackInOrderAndIndexesAreChecked)
{
    HostEventList list;
    Event event{};
    event.type = Event::kNoteOnEvent;
    for (int16 key = 60; key < 63; ++key)
    {
        event.noteOn.pitch = key;
        EXPECT_EQ(list.addEvent(event), kResultOk);
    }
    ASSERT_EQ(list.getEventCount(), 3);
    Event out{};
    ASSERT_EQ(list.getEvent(2, out), kResultOk);
    EXPECT_EQ(out.noteOn.pitch, 62);
    EXPECT_EQ(list.getEvent(3, out), kInvalidArgument);
    EXPECT_EQ(list.getEvent(-1, out), kInvalidArgument);
    list.clear();
    EXPECT_EQ(list.getEventCount(), 0);
}
