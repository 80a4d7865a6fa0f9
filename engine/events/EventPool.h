#pragma once
// Preallocated storage for events and their payloads, so that posting an
// event on the audio thread does not touch the heap. Each audio master owns
// one; events remember their pool and go back to it when freed.
// When a pool runs dry it grows by whole chunks up to a bound, and past the
// bound takes single records from the heap; both are counted.

#include <cstdint>

#include "engine/events/FixedBlockPool.h"
#include "engine/events/KorvaneEvent.h"

class EventPool
{
public:
    static constexpr int kPayloadClasses = 3;

    EventPool();
    ~EventPool();

    EventPool(const EventPool&) = delete;
    EventPool& operator=(const EventPool&) = delete;

    // A zeroed event with the given fields, from `pool` (or from the heap when
    // `pool` is null). Null only when even the heap refuses.
    static KorvaneEvent* New(EventPool* pool, int64_t time, int32_t type, int32_t arg1 = 0, int32_t arg2 = 0,
                             int32_t arg3 = 0);

    // Copies a payload into the event and sets arg2 to its size: up to 4 bytes
    // inline in arg3 (zero-padded), more into pool storage. A negative size
    // counts as empty. False when no storage could be had.
    static bool AttachPayload(KorvaneEvent* event, const void* data, int size);

    // Gives the record and its payload back to where they came from.
    static void Free(KorvaneEvent* event);

    // Grows the pool (outside the audio thread) so that `events` records are free.
    void Reserve(int events);

    // Heap allocations made because a pool or size class was exhausted or the
    // payload was too large for every class; chunk growth counts too.
    int HeapFallbackCount() const;
    int FreeEvents() const { return events_.FreeCount(); }
    int EventCapacity() const { return events_.Capacity(); }
    static int MaxPooledPayload();

    // Events made without a pool (before a module had an audio master).
    static int PoollessCount();

private:
    char* AllocatePayload(int size, int16_t& sizeClass);
    void ReleasePayload(char* data, int16_t sizeClass);

    FixedBlockPool events_;
    FixedBlockPool* payloads_[kPayloadClasses];
    int heapRecords_ = 0;
    int heapPayloads_ = 0;
};
