#include "engine/events/EventPool.h"

#include <atomic>
#include <cstring>
#include <new>

namespace
{
// Payload size classes: small values (doubles, short texts, short MIDI),
// medium texts and blobs, and long texts. Larger payloads use the heap.
constexpr int kPayloadSizes[EventPool::kPayloadClasses] = {64, 512, 4096};
constexpr int kPayloadBlocksPerChunk[EventPool::kPayloadClasses] = {256, 64, 8};
constexpr int kPayloadInitialChunks[EventPool::kPayloadClasses] = {2, 1, 1};
constexpr int kPayloadMaxChunks[EventPool::kPayloadClasses] = {64, 32, 16};

constexpr int kEventsPerChunk = 512;
constexpr int kEventInitialChunks = 4;
constexpr int kEventMaxChunks = 256;

std::atomic<int> poollessEvents{0};
} // namespace

EventPool::EventPool() : events_(sizeof(KorvaneEvent), kEventsPerChunk, kEventInitialChunks, kEventMaxChunks)
{
    for (int i = 0; i < kPayloadClasses; ++i)
    {
        payloads_[i] = new FixedBlockPool(static_cast<size_t>(kPayloadSizes[i]), kPayloadBlocksPerChunk[i],
                                          kPayloadInitialChunks[i], kPayloadMaxChunks[i]);
    }
}

EventPool::~EventPool()
{
    for (auto* payloadPool : payloads_)
        delete payloadPool;
}

int EventPool::MaxPooledPayload()
{
    return kPayloadSizes[kPayloadClasses - 1];
}

int EventPool::PoollessCount()
{
    return poollessEvents.load(std::memory_order_relaxed);
}

int EventPool::HeapFallbackCount() const
{
    int count = heapRecords_ + heapPayloads_ + events_.GrowCount();
    for (const auto* payloadPool : payloads_)
        count += payloadPool->GrowCount();
    return count;
}

void EventPool::Reserve(int events)
{
    events_.Reserve(events);
}

KorvaneEvent* EventPool::New(EventPool* pool, int64_t time, int32_t type, int32_t arg1, int32_t arg2, int32_t arg3)
{
    void* memory = nullptr;
    bool fromHeap = false;
    if (pool)
        memory = pool->events_.Allocate();
    if (!memory)
    {
        memory = ::operator new(sizeof(KorvaneEvent), std::nothrow);
        if (!memory)
            return nullptr;
        fromHeap = true;
        if (pool)
            ++pool->heapRecords_;
        else
            poollessEvents.fetch_add(1, std::memory_order_relaxed);
    }
    auto* event = new (memory) KorvaneEvent{};
    event->sampleTime = time;
    event->eventType = type;
    event->arg1 = arg1;
    event->arg2 = arg2;
    event->arg3 = arg3;
    event->pool = pool;
    event->heapClass = -1;
    event->fromHeap = fromHeap;
    return event;
}

char* EventPool::AllocatePayload(int size, int16_t& sizeClass)
{
    for (int i = 0; i < kPayloadClasses; ++i)
    {
        if (size <= kPayloadSizes[i])
        {
            if (void* block = payloads_[i]->Allocate())
            {
                sizeClass = static_cast<int16_t>(i);
                return static_cast<char*>(block);
            }
        }
    }
    sizeClass = -1;
    auto* data = new (std::nothrow) char[static_cast<size_t>(size)];
    if (data)
        ++heapPayloads_;
    return data;
}

void EventPool::ReleasePayload(char* data, int16_t sizeClass)
{
    if (sizeClass >= 0 && sizeClass < kPayloadClasses)
        payloads_[sizeClass]->Release(data);
    else
        delete[] data;
}

bool EventPool::AttachPayload(KorvaneEvent* event, const void* data, int size)
{
    if (size < 0 || !data)
        size = 0;
    event->arg2 = size;
    event->arg3 = 0;
    if (size <= 4)
    {
        if (size > 0)
            std::memcpy(&event->arg3, data, static_cast<size_t>(size));
        return true;
    }
    char* storage = nullptr;
    int16_t sizeClass = -1;
    if (event->pool)
    {
        storage = event->pool->AllocatePayload(size, sizeClass);
    }
    else
    {
        storage = new (std::nothrow) char[static_cast<size_t>(size)];
        poollessEvents.fetch_add(1, std::memory_order_relaxed);
    }
    if (!storage)
    {
        event->arg2 = 0;
        return false;
    }
    std::memcpy(storage, data, static_cast<size_t>(size));
    event->heapData = storage;
    event->heapClass = sizeClass;
    return true;
}

void EventPool::Free(KorvaneEvent* event)
{
    if (!event)
        return;
    EventPool* pool = event->pool;
    if (event->heapData)
    {
        if (pool)
            pool->ReleasePayload(event->heapData, event->heapClass);
        else
            delete[] event->heapData;
    }
    const bool fromHeap = event->fromHeap;
    event->~KorvaneEvent();
    if (fromHeap || !pool)
        ::operator delete(event);
    else
        pool->events_.Release(event);
}
