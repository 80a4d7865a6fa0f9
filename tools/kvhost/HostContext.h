#pragma once
// What the host hands a plug-in at initialize: the host application (which
// makes messages and attribute lists) and the controller's component handler,
// which keeps the edits the controller makes until the next block.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KvHostApplication : public Steinberg::Vst::HostApplication
{
public:
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) SMTG_OVERRIDE;
    // What getName answers.
    std::string name = "Korvane kvhost";
};

class HostComponentHandler : public Steinberg::Vst::IComponentHandler
{
public:
    virtual ~HostComponentHandler() = default;

    using Edit = std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>;
    // The edits made since the last call, oldest first.
    std::vector<Edit> takeEdits();
    // Every beginEdit ('b'), performEdit ('e') and endEdit ('x') since the
    // last call, oldest first.
    struct Call
    {
        char kind;
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;
    };
    std::vector<Call> takeCalls();
    const std::vector<Call>& calls() const { return calls_; }
    Steinberg::int32 restartFlags() const { return restartFlags_; }

    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue valueNormalized) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    // Owned by the host, which outlives every plug-in object: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    static constexpr std::size_t kMaxPendingEdits = 65536;

private:
    std::vector<Edit> edits_;
    std::vector<Call> calls_;
    Steinberg::int32 restartFlags_ = 0;
};
#pragma GCC diagnostic pop
