#pragma once
// The awake modules of an audio master, ordered by descending sort order, so
// that a walk along level 0 runs every module after the modules feeding it.
// The list object is itself the head node; it holds up to five levels.

#include <cstdint>

#include "engine/events/EventProcessor.h"

class ModuleSkipList : public EventProcessor
{
public:
    explicit ModuleSkipList(uint32_t seed);

    // Links the node in; returns its level-0 predecessor, or null when it
    // became the first node.
    EventProcessor* insertSorted(EventProcessor* node);
    void erase(EventProcessor* node);
    // Unlinks everything: every head link points back to the head.
    void clear();

    EventProcessor* First() { return next_ == this ? nullptr : next_; }
    EventProcessor* Head() { return this; }
    bool IsEmpty() const { return next_ == this; }

    void Seed(uint32_t seed) { rngState_ = seed; }

private:
    int RandomLevelCount();
    // Sets the jump links of `last` and of the nodes before it whose node
    // kJumpDistance places on may have changed. On the thread that changes
    // the list, as insertSorted and erase.
    void Rejump(EventProcessor* last);

    EventProcessor* lastPath_[kMaxLevels] = {};
    uint32_t rngState_;
};
