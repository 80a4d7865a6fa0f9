#pragma once
// Parameter changes as the host's own lists show them, each parameter's one
// value at the block's first sample: a view over values kept elsewhere
// (the input of blocks held back, or values no block has brought yet).
//
// Threads: whichever thread owns the values; nothing here allocates, locks
// or logs.

#include "pluginterfaces/vst/ivstparameterchanges.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// One parameter's value at the block's first sample.
class KvFirstSampleValue : public Steinberg::Vst::IParamValueQueue
{
public:
    Steinberg::Vst::ParamID id = 0;
    Steinberg::Vst::ParamValue value = 0.0;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return 1; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& point) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32, Steinberg::Vst::ParamValue, Steinberg::int32&) override
    {
        return Steinberg::kResultFalse;
    }
};

// The host's list of a block's changes, over `count` values from `first`.
class KvFirstSampleChanges : public Steinberg::Vst::IParameterChanges
{
public:
    void Show(KvFirstSampleValue* first, int count)
    {
        first_ = first;
        count_ = count;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** object) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getParameterCount() override { return count_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID&,
                                                                  Steinberg::int32&) override
    {
        return nullptr;
    }

private:
    KvFirstSampleValue* first_ = nullptr;
    int count_ = 0;
};
#pragma GCC diagnostic pop
