#include "tools/kvhost/HostEventList.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API HostEventList::getEvent(int32 index, Event& e)
{
    if (index < 0 || index >= getEventCount())
        return kInvalidArgument;
    e = events_[static_cast<std::size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API HostEventList::addEvent(Event& e)
{
    if (events_.size() >= kMaxEvents)
        return kResultFalse;
    events_.push_back(e);
    return kResultOk;
}

tresult PLUGIN_API HostEventList::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IEventList::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IEventList*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
