#include "tools/kvhost/HostParameterChanges.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

void HostParamValueQueue::reset(ParamID id)
{
    id_ = id;
    points_.clear();
}

tresult PLUGIN_API HostParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
    if (index < 0 || index >= getPointCount())
        return kInvalidArgument;
    sampleOffset = points_[static_cast<std::size_t>(index)].offset;
    value = points_[static_cast<std::size_t>(index)].value;
    return kResultOk;
}

tresult PLUGIN_API HostParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
    auto at = std::lower_bound(points_.begin(), points_.end(), sampleOffset,
                               [](const Point& point, int32 offset) { return point.offset < offset; });
    if (at != points_.end() && at->offset == sampleOffset)
    {
        at->value = value;
        index = static_cast<int32>(at - points_.begin());
        return kResultOk;
    }
    if (points_.size() >= kMaxPoints)
        return kResultFalse;
    at = points_.insert(at, Point{sampleOffset, value});
    index = static_cast<int32>(at - points_.begin());
    return kResultOk;
}

tresult PLUGIN_API HostParamValueQueue::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IParamValueQueue::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IParamValueQueue*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

void HostParameterChanges::clear()
{
    used_ = 0;
}

bool HostParameterChanges::add(ParamID id, int32 sampleOffset, ParamValue value)
{
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    return queue && queue->addPoint(sampleOffset, value, index) == kResultOk;
}

IParamValueQueue* PLUGIN_API HostParameterChanges::getParameterData(int32 index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= used_)
        return nullptr;
    return queues_[static_cast<std::size_t>(index)].get();
}

IParamValueQueue* PLUGIN_API HostParameterChanges::addParameterData(const ParamID& id, int32& index)
{
    for (std::size_t i = 0; i < used_; ++i)
    {
        if (queues_[i]->getParameterId() == id)
        {
            index = static_cast<int32>(i);
            return queues_[i].get();
        }
    }
    if (used_ >= kMaxQueues)
        return nullptr;
    if (used_ == queues_.size())
        queues_.push_back(std::make_unique<HostParamValueQueue>(id));
    queues_[used_]->reset(id);
    index = static_cast<int32>(used_);
    return queues_[used_++].get();
}

tresult PLUGIN_API HostParameterChanges::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IParameterChanges::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IParameterChanges*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
