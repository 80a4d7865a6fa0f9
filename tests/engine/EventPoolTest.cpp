#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/events/EventPool.h"

TEST(EventPool, SmallPayloadsRideInlineAndLargerOnesUsePoolStorageOrCountedHeap)
{
    EventPool pool;
    KorvaneEvent* small = EventPool::New(&pool, 5, UET_EVENT_SETPIN, 2);
    const char bytes[3] = {1, 2, 3};
    ASSERT_TRUE(EventPool::AttachPayload(small, bytes, 3));
    EXPECT_EQ(small->heapData, nullptr);
    EXPECT_EQ(small->arg3, 0x030201);

    std::vector<char> medium(300, 'x');
    KorvaneEvent* pooled = EventPool::New(&pool, 0, UET_EVENT_SETPIN);
    ASSERT_TRUE(EventPool::AttachPayload(pooled, medium.data(), 300));
    EXPECT_EQ(std::memcmp(pooled->Data(), medium.data(), 300), 0);
    EXPECT_EQ(pool.HeapFallbackCount(), 0);

    std::vector<char> huge(EventPool::MaxPooledPayload() + 1, 'y');
    KorvaneEvent* heap = EventPool::New(&pool, 0, UET_EVENT_MIDI);
    ASSERT_TRUE(EventPool::AttachPayload(heap, huge.data(), static_cast<int>(huge.size())));
    EXPECT_EQ(pool.HeapFallbackCount(), 1);
    for (KorvaneEvent* e : {small, pooled, heap})
        EventPool::Free(e);
}

TEST(EventPool, ExhaustingThePoolGrowsItOnceAndTheRecordsAreReusedAfterwards)
{
    EventPool pool;
    const int capacity = pool.EventCapacity();
    for (int round = 0; round < 2; ++round)
    {
        std::vector<KorvaneEvent*> events;
        for (int i = 0; i < capacity + 1; ++i)
            events.push_back(EventPool::New(&pool, i, UET_UI_NOTIFY));
        EXPECT_EQ(pool.HeapFallbackCount(), 1);
        for (KorvaneEvent* e : events)
            EventPool::Free(e);
    }
}
