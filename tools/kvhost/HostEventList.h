#pragma once
// The note events of one block, handed to the plug-in's event input.

#include <vector>

#include "pluginterfaces/vst/ivstevents.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class HostEventList : public Steinberg::Vst::IEventList
{
public:
    HostEventList() { events_.reserve(kMaxEvents); }
    virtual ~HostEventList() = default;

    void clear() { events_.clear(); }

    Steinberg::int32 PLUGIN_API getEventCount() SMTG_OVERRIDE { return static_cast<Steinberg::int32>(events_.size()); }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    static constexpr std::size_t kMaxEvents = 4096;

private:
    std::vector<Steinberg::Vst::Event> events_;
};
#pragma GCC diagnostic pop
