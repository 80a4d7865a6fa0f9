#include "engine/events/EventProcessor.h"

#include <cstring>

#include "engine/events/EventPool.h"
#include "engine/runtime/IKvAudioMaster.h"

EventProcessor::EventProcessor() : eventList_{}
{
    eventList_.next = &eventList_;
    eventList_.prev = &eventList_;
}

EventProcessor::~EventProcessor()
{
    timedSleep_.Unlink();
    DeleteEvents();
}

void EventProcessor::Wake()
{
    if (audioMaster_)
        audioMaster_->Wake(this);
    sleeping_ = 0;
}

void EventProcessor::LinkAfter(KorvaneEvent* where, KorvaneEvent* event)
{
    event->prev = where;
    event->next = where->next;
    where->next->prev = event;
    where->next = event;
}

void EventProcessor::UnlinkEvent(KorvaneEvent* event)
{
    event->prev->next = event->next;
    event->next->prev = event->prev;
    event->prev = event->next = nullptr;
    EventsChanged();
}

void EventProcessor::AddEvent(KorvaneEvent* event)
{
    if (!event)
        return;
    if (sleeping_ && (flags_ & UGF_SUSPENDED) == 0)
        Wake();
    InsertEvent(event);
    EventsChanged();
}

void EventProcessor::InsertEvent(KorvaneEvent* event)
{
    // What lies behind the clock (as for a module woken into the next piece)
    // is due at once; keeping it there would unsort the list.
    if (event->sampleTime < sampleClock_)
        event->sampleTime = sampleClock_;
    const int64_t t = event->sampleTime;

    // New events are nearly always the latest: search from the end.
    KorvaneEvent* e = eventList_.prev;
    while (e != &eventList_ && e->sampleTime > t)
        e = e->prev;

    if (e == &eventList_ || !event->IsPinEvent() || e->sampleTime < t)
    {
        // Joins the events of its own time after all of them.
        LinkAfter(e, event);
        return;
    }

    // A pin event among events of the same time: pin events of one time stay in
    // ascending pin order ahead of other events, one per pin.
    while (e != &eventList_ && e->sampleTime == t)
    {
        if (e->IsPinEvent() && e->arg1 <= event->arg1)
        {
            LinkAfter(e, event);
            if (e->arg1 == event->arg1)
            {
                UnlinkEvent(e);
                EventPool::Free(e);
            }
            return;
        }
        e = e->prev;
    }
    LinkAfter(e, event);
}

bool EventProcessor::PostEvent(int64_t time, int32_t type, int32_t arg1, int32_t arg2, int32_t arg3)
{
    KorvaneEvent* event = EventPool::New(GetEventPool(), time, type, arg1, arg2, arg3);
    if (!event)
        return false;
    AddEvent(event);
    return true;
}

bool EventProcessor::PostEventWithData(int64_t time, int32_t type, int32_t arg1, const void* data, int size)
{
    KorvaneEvent* event = EventPool::New(GetEventPool(), time, type, arg1);
    if (!event)
        return false;
    if (!EventPool::AttachPayload(event, data, size))
    {
        EventPool::Free(event);
        return false;
    }
    AddEvent(event);
    return true;
}

void EventProcessor::RunDelayed(int64_t time, DelayedCall call)
{
    int32_t words[2] = {0, 0};
    std::memcpy(words, &call, sizeof(call));
    PostEvent(time, UET_RUN_DELAYED, 0, words[0], words[1]);
}

EventProcessor::DelayedCall EventProcessor::DelayedCallOf(const KorvaneEvent* event)
{
    if (!event || event->eventType != UET_RUN_DELAYED)
        return nullptr;
    const int32_t words[2] = {event->arg2, event->arg3};
    DelayedCall call = nullptr;
    std::memcpy(&call, words, sizeof(call));
    return call;
}

void EventProcessor::SetClockRescheduleEvents(int64_t t)
{
    for (KorvaneEvent* e = eventList_.next; e != &eventList_ && e->sampleTime < t; e = e->next)
        e->sampleTime = t;
    EventsChanged();
    sampleClock_ = t;
}

void EventProcessor::DiscardOldPinEvents(int pin)
{
    const int64_t blockStart = audioMaster_ ? audioMaster_->BlockStartClock() : sampleClock_;
    // The list is in time order: the old events stand at its front, and the
    // walk ends at the first later one, however many wait behind it.
    KorvaneEvent* latest = nullptr;
    for (KorvaneEvent* e = eventList_.next; e != &eventList_ && e->sampleTime <= blockStart;)
    {
        KorvaneEvent* later = e->next;
        if (e->IsPinEvent() && e->arg1 == pin)
        {
            if (latest)
            {
                UnlinkEvent(latest);
                EventPool::Free(latest);
            }
            latest = e;
        }
        e = later;
    }
}

void EventProcessor::DeleteEvents()
{
    while (!EventListEmpty())
    {
        KorvaneEvent* e = eventList_.next;
        UnlinkEvent(e);
        EventPool::Free(e);
    }
}

float EventProcessor::SampleRate() const
{
    return audioMaster_ ? audioMaster_->SampleRate() : 0.0f;
}

int EventProcessor::BlockPos() const
{
    return audioMaster_ ? static_cast<int>(sampleClock_ - audioMaster_->BlockStartClock()) : 0;
}

EventPool* EventProcessor::GetEventPool() const
{
    return audioMaster_ ? audioMaster_->GetEventPool() : nullptr;
}
