#pragma once
// Links of one node of the module skip list, on up to five levels, and its
// place in the audio master's list of modules that left the skip list until
// their next event falls due.

#include <cstdint>

class EventProcessor;

struct TimedSleepLink
{
    TimedSleepLink* prev = nullptr;
    TimedSleepLink* next = nullptr;
    int64_t wakeAt = 0;
    EventProcessor* owner = nullptr;

    bool Linked() const { return prev != nullptr; }
    void Unlink()
    {
        if (!prev)
            return;
        prev->next = next;
        next->prev = prev;
        prev = next = nullptr;
    }
};

struct SkipListNode
{
    static constexpr int kMaxLevels = 5;

    EventProcessor* next_[kMaxLevels] = {};
    // prev_[0] is null exactly when the node is not in a list.
    EventProcessor* prev_[kMaxLevels] = {};

    bool IsListed() const { return prev_[0] != nullptr; }

    TimedSleepLink timedSleep_;
};
