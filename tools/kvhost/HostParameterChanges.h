#pragma once
// Parameter changes for one block, in both directions: the host fills the
// input set, the plug-in the output set. Queues and points live in pools that
// are reused block after block; each set is bounded in queues and points.

#include <memory>
#include <vector>

#include "pluginterfaces/vst/ivstparameterchanges.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class HostParamValueQueue : public Steinberg::Vst::IParamValueQueue
{
public:
    explicit HostParamValueQueue(Steinberg::Vst::ParamID id) : id_(id) {}
    virtual ~HostParamValueQueue() = default;

    void reset(Steinberg::Vst::ParamID id);

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() SMTG_OVERRIDE { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() SMTG_OVERRIDE { return static_cast<Steinberg::int32>(points_.size()); }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) SMTG_OVERRIDE;
    // Points stay ordered by offset; a second point at the same offset replaces the first.
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    // Owned by the host for the whole render: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    static constexpr std::size_t kMaxPoints = 4096;

private:
    struct Point
    {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };

    Steinberg::Vst::ParamID id_;
    std::vector<Point> points_;
};

class HostParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
    virtual ~HostParameterChanges() = default;

    void clear();
    // Host side: a point for parameter `id`, in a queue of its own.
    bool add(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value);

    Steinberg::int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE { return static_cast<Steinberg::int32>(used_); }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    static constexpr std::size_t kMaxQueues = 2048;

private:
    std::vector<std::unique_ptr<HostParamValueQueue>> queues_;
    std::size_t used_ = 0;
};
#pragma GCC diagnostic pop
