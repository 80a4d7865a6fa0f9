#pragma once
// Links of one node of the module skip list, on up to five levels, but for
// the first forward link, and its place in the audio master's list of
// modules that left the skip list until their next event falls due.

#include <cstdint>

class EventProcessor;

struct TimedSleepLink
{
    TimedSleepLink* prev = nullptr;
    TimedSleepLink* next = nullptr;
    int64_t wakeAt = 0;

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

    // The forward links of levels 1 and up; level 0's, which every walk of
    // the list reads, is RunFields::next_ (see EventProcessor::Next).
    EventProcessor* upperNext_[kMaxLevels - 1] = {};
    // prev_[0] is null exactly when the node is not in a list.
    EventProcessor* prev_[kMaxLevels] = {};

    bool IsListed() const { return prev_[0] != nullptr; }

    TimedSleepLink timedSleep_;
};
