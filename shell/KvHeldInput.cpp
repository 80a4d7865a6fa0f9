#include "shell/KvHeldInput.h"

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

KvHeldInput::KvHeldInput() = default;

tresult PLUGIN_API KvHeldInput::Events::queryInterface(const TUID, void** object)
{
    *object = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API KvHeldInput::Events::getEvent(int32 index, Event& event)
{
    if (index < 0 || index >= count_)
        return kResultFalse;
    event = first_[index];
    event.sampleOffset = 0;
    return kResultOk;
}

void KvHeldInput::KeepValue(ParamID id, ParamValue value, bool merge)
{
    Block& block = blocks_[static_cast<std::size_t>(blockCount_ - 1)];
    if (merge)
    {
        for (int i = 0; i < block.valueCount; ++i)
        {
            KvFirstSampleValue& held = values_[static_cast<std::size_t>(block.firstValue + i)];
            if (held.id == id)
            {
                held.value = value;
                return;
            }
        }
    }
    // Values of one block lie together: the newest block's end is the pool's.
    if (valueCount_ >= kMaxValues)
    {
        lost_ = true;
        return;
    }
    KvFirstSampleValue& held = values_[static_cast<std::size_t>(valueCount_++)];
    held.id = id;
    held.value = value;
    ++block.valueCount;
}

void KvHeldInput::Keep(IParameterChanges* changes, IEventList* events, ParamID skipped)
{
    const bool merge = blockCount_ == kMaxBlocks;
    if (!merge)
        blocks_[static_cast<std::size_t>(blockCount_++)] = {valueCount_, 0, eventCount_, 0};
    Block& block = blocks_[static_cast<std::size_t>(blockCount_ - 1)];
    const int32 queues = changes ? changes->getParameterCount() : 0;
    for (int32 q = 0; q < queues; ++q)
    {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (queue == nullptr || queue->getParameterId() == skipped)
            continue;
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        if (points < 1 || queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value))
            continue;
        KeepValue(queue->getParameterId(), value, merge);
    }
    const int32 count = events ? events->getEventCount() : 0;
    for (int32 i = 0; i < count; ++i)
    {
        Event event{};
        if (events->getEvent(i, event) != kResultOk)
            break;
        if (event.type != Event::kNoteOnEvent && event.type != Event::kNoteOffEvent &&
            event.type != Event::kPolyPressureEvent)
            continue;
        if (eventCount_ >= kMaxEvents)
        {
            lost_ = true;
            break;
        }
        notes_[static_cast<std::size_t>(eventCount_++)] = event;
        ++block.eventCount;
    }
}
