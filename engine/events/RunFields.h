#pragma once
// What the block loop and the copies functions read of every node they pass:
// the first line of an event processor (see EventProcessor), after its
// vtable pointer and handle.

#include <cstdint>

class EventProcessor;

struct RunFields
{
    // The time of an event processor without pending events.
    static constexpr int64_t kNoEvent = INT64_MAX;
    static constexpr int kJumpDistance = 8;

    using copies_func_ptr = EventProcessor* (*)(EventProcessor* first, int blockPosition, int sampleFrames);

    // The next node on level 0 of the module skip list.
    EventProcessor* next_ = nullptr;
    // The node kJumpDistance places further on along level 0 (the list's
    // head when the list ends sooner), kept by the list as it changes: a walk
    // fetches its memory well ahead of reaching it, without following the
    // links one by one.
    EventProcessor* jump_ = nullptr;
    int64_t sampleClock_ = 0;
    // The time of the earliest pending event, kNoEvent for none: kept by
    // EventProcessor as its event list changes.
    int64_t firstEventTime_ = kNoEvent;
    // A module's copies function, or null: set by the module's class for
    // itself, or by ug_base::SetProcessFunction for a plain module.
    copies_func_ptr copiesFunction_ = nullptr;
    uint8_t sleeping_ = 0;
    // The object is a module (ug_base) whose class runs a piece as ug_base
    // does: the block loop runs it without the virtual call, or by its copies
    // function.
    bool plainPiece_ = false;
    int32_t sortOrder_ = -1;
};
