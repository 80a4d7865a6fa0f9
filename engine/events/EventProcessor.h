#pragma once
// Everything that runs on the audio thread in time: an own sample clock and a
// time-ordered list of pending events, and a place in the module skip list.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/events/KorvaneEvent.h"
#include "engine/events/RunFields.h"
#include "engine/runtime/SkipListNode.h"
#include "engine/events/dsp_msg_target.h"

class EventPool;
class IKvAudioMaster;

// Starts on a cache line, so that the lines the block loop fetches ahead of a
// run are the lines its fields lie in. Laid out for the block loop: a walk
// and a run read the first line (RunFields after the vtable pointer and
// handle); a module run alone reads its process function in the fifth
// (ug_base's first field). The skip list's other links, the timed sleep and
// the event list's sentinel lie in between, read only as the lists change.
class alignas(64) EventProcessor : public dsp_msg_target, public RunFields, public SkipListNode
{
public:
    // Flag bit used at this level (the rest belong to ug_base).
    static constexpr uint32_t UGF_SUSPENDED = 0x80;

    // A delayed call: a plain function taking the object. It fits the two
    // 32-bit event words, where a pointer to member function would not.
    using DelayedCall = void (*)(EventProcessor*);
    static_assert(sizeof(DelayedCall) <= 2 * sizeof(int32_t), "a delayed call must fit two event words");

    EventProcessor();
    ~EventProcessor() override;

    EventProcessor(const EventProcessor&) = delete;
    EventProcessor& operator=(const EventProcessor&) = delete;

    virtual void DoProcess(int /*blockPosition*/, int /*sampleCount*/) {}
    virtual void HandleEvent(KorvaneEvent* /*event*/) {}
    virtual void Wake();
    virtual void OnUiNotify(int /*code*/, int /*value*/) {}

    // Takes ownership of the event and inserts it in time order; wakes a
    // sleeping object unless it is suspended.
    void AddEvent(KorvaneEvent* event);

    // Makes an event from this object's pool and posts it here. The payload
    // (size bytes) is copied. False when the event could not be made.
    bool PostEvent(int64_t time, int32_t type, int32_t arg1 = 0, int32_t arg2 = 0, int32_t arg3 = 0);
    bool PostEventWithData(int64_t time, int32_t type, int32_t arg1, const void* data, int size);

    // Posts a call of a member function of this object (of class C, derived
    // from EventProcessor) at `time`: RunDelayed<&C::Method>(time).
    template <auto Method>
    void RunDelayed(int64_t time)
    {
        RunDelayed(time, &CallMember<Method>);
    }
    void RunDelayed(int64_t time, DelayedCall call);

    // Reads back the call held by a UET_RUN_DELAYED event (null if none).
    static DelayedCall DelayedCallOf(const KorvaneEvent* event);

    // Moves every pending event earlier than t up to t, then sets the clock to t.
    void SetClockRescheduleEvents(int64_t t);
    // Of the pin events for `pin` due at or before the block start, keeps only
    // the latest. Walks only the events due by then. Audio thread.
    void DiscardOldPinEvents(int pin);
    void DeleteEvents();

    float SampleRate() const;
    int BlockPos() const;
    EventPool* GetEventPool() const;

    // A copies function runs one piece of a module and of the modules after
    // it in the list that have the same copies function, stand at its clock
    // and have no event due (and whatever more it asks of them), in one
    // call; it returns the last it ran, and the block loop goes on after
    // that one. The block loop calls it for any node that has one and no
    // event due: a plain module's comes from ug_base::SetProcessFunction, an
    // SDK module's adapter sets its own. Modules of one sort order never feed
    // one another, and the copies of a module stand together in the list
    // (see ListKey).
    using RunFields::copies_func_ptr;

    // The object whose timed-sleep link this is. Audio thread.
    static EventProcessor* OfTimedSleep(TimedSleepLink* link)
    {
        auto* node = reinterpret_cast<SkipListNode*>(reinterpret_cast<char*>(link) - offsetof(SkipListNode, timedSleep_));
        return static_cast<EventProcessor*>(node);
    }

    // Level `level`'s forward link in the module skip list. On the thread
    // that walks or changes the list.
    EventProcessor*& Next(int level) { return level == 0 ? next_ : upperNext_[level - 1]; }

    // The order of the module list: by sort order, and within one sort order
    // (modules that do not feed one another) by handle, which the copies of
    // a module in its voices share, so that they stand together.
    int64_t ListKey() const
    {
        return static_cast<int64_t>(sortOrder_) * 4294967296LL + static_cast<uint32_t>(handle_);
    }

    bool EventListEmpty() const { return eventList_.next == &eventList_; }
    bool NoEventBefore(int64_t end) const { return firstEventTime_ >= end; }
    // The object may join a row of the copies function `copies` that stands
    // at `clock` and runs to `end` (see copies_func_ptr).
    bool JoinsRow(copies_func_ptr copies, int64_t clock, int64_t end) const
    {
        return copiesFunction_ == copies && sampleClock_ == clock && NoEventBefore(end);
    }
    KorvaneEvent* FirstEvent() const { return EventListEmpty() ? nullptr : eventList_.next; }
    KorvaneEvent* LastEvent() const { return EventListEmpty() ? nullptr : eventList_.prev; }
    // Next event after `event` in time order, or null at the end.
    KorvaneEvent* NextEvent(const KorvaneEvent* event) const
    {
        return event->next == &eventList_ ? nullptr : event->next;
    }
    // Takes a pending event of this object out of its list. Audio thread.
    void UnlinkEvent(KorvaneEvent* event);

    // Called as the object before `next` runs: fetches the lines a run reads
    // of the object a jump further on (see RunFields::jump_ and the layout
    // of ug_base's fields), and next's memory outside its object (its fields
    // came a jump ago). Audio thread.
    static void FetchAhead(const EventProcessor* next)
    {
        // The run fields, process function and first own fields of the node
        // a jump ahead; then six lines of next's own memory.
        constexpr int kObjectLines[] = {0, 4, 5, 6};
        constexpr int kRunDataLines = 6;
        const char* ahead = reinterpret_cast<const char*>(next->jump_);
        for (int line : kObjectLines)
            __builtin_prefetch(ahead + 64 * line);
        if (next->plainPiece_)
            return;
        if (const char* data = static_cast<const char*>(next->runData_))
        {
            for (int line = 0; line < kRunDataLines; ++line)
                __builtin_prefetch(data + 64 * line);
        }
    }


    uint32_t flags_ = 0;
    IKvAudioMaster* audioMaster_ = nullptr;
    // Memory of its own a run of a module that is not plain reads outside
    // the object (an external module's object, say), fetched by the block
    // loop ahead of the run; null for none. Set where the graph is built,
    // read on the audio thread.
    const void* runData_ = nullptr;
    // Every change of the list goes through the members above, which keep
    // firstEventTime_.
    KorvaneEvent eventList_; // sentinel: next is the earliest event, prev the latest

private:
    template <class T>
    struct MemberClass;
    template <class C>
    struct MemberClass<void (C::*)()>
    {
        using type = C;
    };

    template <auto Method>
    static void CallMember(EventProcessor* object)
    {
        using C = typename MemberClass<decltype(Method)>::type;
        static_assert(std::is_base_of_v<EventProcessor, C>, "delayed calls go to event processors");
        (static_cast<C*>(object)->*Method)();
    }

    static void LinkAfter(KorvaneEvent* where, KorvaneEvent* event);
    // AddEvent's insertion in time order.
    void InsertEvent(KorvaneEvent* event);
    // Sets firstEventTime_ from the list.
    void EventsChanged() { firstEventTime_ = EventListEmpty() ? kNoEvent : eventList_.next->sampleTime; }
};
