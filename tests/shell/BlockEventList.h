#pragma once
// A host's note events for one block, of any number, handed to the plug-in
// in the order they were added.

#include <vector>

#include "pluginterfaces/vst/ivstevents.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class BlockEventList : public Steinberg::Vst::IEventList
{
public:
    BlockEventList() = default;
    explicit BlockEventList(std::vector<Steinberg::Vst::Event> listed) : events(std::move(listed)) {}
    virtual ~BlockEventList() = default;

    Steinberg::int32 PLUGIN_API getEventCount() SMTG_OVERRIDE { return static_cast<Steinberg::int32>(events.size()); }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) SMTG_OVERRIDE
    {
        if (index < 0 || index >= getEventCount())
            return Steinberg::kInvalidArgument;
        e = events[static_cast<std::size_t>(index)];
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) SMTG_OVERRIDE
    {
        events.push_back(e);
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) SMTG_OVERRIDE
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    // Filled before the block; the plug-in only reads.
    std::vector<Steinberg::Vst::Event> events;
};
#pragma GCC diagnostic pop
