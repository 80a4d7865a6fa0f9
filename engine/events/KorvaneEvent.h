#pragma once
// engine/events/: timed events and where they come from. Every engine object
// that keeps time is an EventProcessor with its own list of pending events;
// events and their payloads come from preallocated pools (EventPool,
// FixedBlockPool), so that posting one does not touch the heap. Messages
// from the editor are addressed to a dsp_msg_target by handle.
// Threads: the audio thread; pools are made while the graph is built.
//
// A timed engine event. Events live in the time-ordered list of the object
// they are posted to; they come from an EventPool and go back to it when freed.

#include <cstdint>

class EventPool;
namespace gmpi
{
struct MpEvent;
}

enum ug_event_type : int32_t
{
    UET_SUSPEND = 1,
    UET_IO_FUNC = 4,
    UET_UI_NOTIFY = 5,
    UET_PROG_CHANGE = 6,
    UET_PLAY_HELD_BACK_NOTES = 15,
    UET_RUN_DELAYED = 17,
    UET_GUI_QUE_TIMER = 18,
    UET_DEACTIVATE_VOICE = 19,
    UET_EVENT_SETPIN = 100,
    UET_EVENT_STREAMING_START = 101,
    UET_EVENT_STREAMING_STOP = 102,
    UET_EVENT_MIDI = 103,
    UET_GRAPH_START = 104,
};

struct KorvaneEvent
{
    KorvaneEvent* prev;
    KorvaneEvent* next;
    int64_t sampleTime;
    // From here to sdkNext the record is laid out as the module SDK's event,
    // so that a list of events reaches an SDK module without copying.
    int32_t timeDelta; // offset within the run handed to an SDK module
    int32_t eventType;
    int32_t arg1; // pin index; first value of a UI notification
    int32_t arg2; // payload byte count; second value of a UI notification
    int32_t arg3; // payload of up to 4 bytes; voice number
    int32_t arg4;
    char* heapData; // payload longer than 4 bytes, else null
    gmpi::MpEvent* sdkNext; // next event of a list handed to an SDK module, else null

    // Bookkeeping of the pool the record and its payload came from.
    EventPool* pool;
    int16_t heapClass; // payload size class, -1 for a payload from the heap
    bool fromHeap;     // the record itself came from the heap

    // Pin events (set pin, streaming start and stop) share ordering rules.
    bool IsPinEvent() const
    {
        return eventType >= UET_EVENT_SETPIN && eventType <= UET_EVENT_STREAMING_STOP;
    }

    // The payload bytes: inline for up to 4 bytes, else the heap copy.
    const void* Data() const { return arg2 > 4 ? static_cast<const void*>(heapData) : static_cast<const void*>(&arg3); }
};
