#pragma once
// Links of one node of the module skip list, on up to five levels.

class EventProcessor;

struct SkipListNode
{
    static constexpr int kMaxLevels = 5;

    EventProcessor* next_[kMaxLevels] = {};
    // prev_[0] is null exactly when the node is not in a list.
    EventProcessor* prev_[kMaxLevels] = {};

    bool IsListed() const { return prev_[0] != nullptr; }
};
