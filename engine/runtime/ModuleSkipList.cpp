#include "engine/runtime/ModuleSkipList.h"

#include <climits>

ModuleSkipList::ModuleSkipList(uint32_t seed) : rngState_(seed)
{
    sortOrder_ = INT32_MIN;
    clear();
}

void ModuleSkipList::clear()
{
    for (int level = 0; level < kMaxLevels; ++level)
    {
        Next(level) = this;
        prev_[level] = this;
        lastPath_[level] = nullptr;
    }
    jump_ = this;
}

int ModuleSkipList::RandomLevelCount()
{
    rngState_ = rngState_ * 1664525u + 1013904223u;
    int32_t bits = static_cast<int32_t>(rngState_);
    if (bits & 1)
        return 1;
    // One level more per trailing zero bit; bit 4 caps the count at five.
    bits |= 0x10;
    int levels = 1;
    while ((bits & 1) == 0)
    {
        bits >>= 1;
        ++levels;
    }
    return levels < kMaxLevels ? levels : kMaxLevels;
}

EventProcessor* ModuleSkipList::insertSorted(EventProcessor* node)
{
    const int64_t key = node->ListKey();
    const int levels = RandomLevelCount();

    // Start from the finger left by the previous insertion when it lies before
    // the new key; runs of descending keys then cost next to nothing.
    EventProcessor* start = this;
    int startLevel = kMaxLevels - 1;
    if (lastPath_[0] != nullptr && lastPath_[0]->ListKey() > key)
    {
        int level = 0;
        while (level < kMaxLevels - 1 && lastPath_[level] != nullptr && lastPath_[level]->Next(level) != this &&
               lastPath_[level]->Next(level)->ListKey() >= key)
            ++level;
        while (level > 0 && lastPath_[level] == nullptr)
            --level;
        start = lastPath_[level];
        startLevel = level;
    }

    EventProcessor* x = start;
    for (int level = startLevel; level >= 0; --level)
    {
        // The head's lowest key ends every search.
        while (x->Next(level) != this && x->Next(level)->ListKey() >= key)
            x = x->Next(level);
        lastPath_[level] = x;
    }

    for (int level = levels - 1; level >= 0; --level)
    {
        EventProcessor* before = lastPath_[level];
        EventProcessor* after = before->Next(level);
        node->Next(level) = after;
        node->prev_[level] = before;
        after->prev_[level] = node;
        before->Next(level) = node;
        lastPath_[level] = node;
    }
    for (int level = levels; level < kMaxLevels; ++level)
        node->prev_[level] = nullptr;

    Rejump(node);
    EventProcessor* predecessor = node->prev_[0];
    return predecessor == this ? nullptr : predecessor;
}

void ModuleSkipList::Rejump(EventProcessor* last)
{
    // Back from `last` by the jump distance, or to the head.
    EventProcessor* from = last;
    for (int i = 0; i < kJumpDistance && from != this; ++i)
        from = from->prev_[0];
    EventProcessor* ahead = from;
    int steps = 0;
    for (; steps < kJumpDistance && ahead->next_ != this; ++steps)
        ahead = ahead->next_;
    if (steps < kJumpDistance)
        ahead = this;
    for (EventProcessor* node = from;; node = node->next_)
    {
        node->jump_ = ahead;
        if (node == last)
            return;
        ahead = ahead == this ? this : ahead->next_;
    }
}

void ModuleSkipList::erase(EventProcessor* node)
{
    if (!node->IsListed())
        return;
    for (int level = 0; level < kMaxLevels && node->prev_[level] != nullptr; ++level)
    {
        node->prev_[level]->Next(level) = node->Next(level);
        node->Next(level)->prev_[level] = node->prev_[level];
    }
    EventProcessor* before = node->prev_[0];
    node->prev_[0] = nullptr;
    lastPath_[0] = nullptr;
    Rejump(before);
}
