#pragma once
// A display module fed by one test source on "Signal in", with its
// patchValue output recorded, on a bare audio master.

#include <cstdint>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"

namespace kvtest
{

template <class Module>
struct DisplayRig
{
    static constexpr int kPatchValuePin = 5;

    explicit DisplayRig(const wchar_t* type, float rate = 44100.0f, int blockSize = 96)
        : graph(blockSize, rate)
    {
        module = static_cast<Module*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        source = graph.Add<TestSource>(10);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[0]);
        recorder = graph.Add<Recorder>(1);
        if (module->plugs_.size() > kPatchValuePin)
            ug_base::connect(module->plugs_[kPatchValuePin], recorder->plugs_[Recorder::PN_FLOAT]);
    }

    // A second source on another audio input, before Open.
    TestSource* Feed(int pin)
    {
        TestSource* extra = graph.Add<TestSource>(10);
        ug_base::connect(extra->plugs_[TestSource::PN_AUDIO], module->plugs_[pin]);
        return extra;
    }
    void Open() { graph.OpenAll(); }
    void SetEnum(int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(module->sampleClock_, pin, DT_ENUM, &v, 4);
    }

    std::vector<float> Sent() const
    {
        std::vector<float> values;
        for (const auto& c : recorder->changes)
        {
            if (c.pin == Recorder::PN_FLOAT)
                values.push_back(c.floatValue);
        }
        return values;
    }
    std::vector<int64_t> SentTimes() const
    {
        std::vector<int64_t> times;
        for (const auto& c : recorder->changes)
        {
            if (c.pin == Recorder::PN_FLOAT)
                times.push_back(c.time);
        }
        return times;
    }

    TestGraph graph;
    Module* module = nullptr;
    TestSource* source = nullptr;
    Recorder* recorder = nullptr;
};

} // namespace kvtest
