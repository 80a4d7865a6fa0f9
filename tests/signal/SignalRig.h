#pragma once
// A registered module between test sources (one per chosen input pin) and a
// recorder on one of its outputs, on a bare audio master.

#include <initializer_list>
#include <map>
#include <string>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"

namespace kvtest
{

template <class Module>
struct SignalRig
{
    SignalRig(const wchar_t* type, std::initializer_list<int> fedInputs, int outputPin, float rate = 44100.0f,
              int blockSize = 96)
        : graph(blockSize, rate)
    {
        module = static_cast<Module*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        for (int pin : fedInputs)
        {
            TestSource* source = graph.Add<TestSource>(10);
            ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[pin]);
            sources[pin] = source;
        }
        recorder = graph.Add<Recorder>(1);
        ug_base::connect(module->plugs_[outputPin], recorder->plugs_[Recorder::PN_AUDIO]);
        graph.OpenAll();
    }

    TestSource& In(int pin) { return *sources.at(pin); }
    // Sends a value to a non-audio input of the module at the current time.
    void SetEnum(int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(module->sampleClock_, pin, DT_ENUM, &v, 4);
    }
    void SetBool(int pin, bool value)
    {
        const int32_t v = value ? 1 : 0;
        module->SetPinValue(module->sampleClock_, pin, DT_BOOL, &v, 4);
    }
    int StaticAnnouncements() const
    {
        int n = 0;
        for (const auto& c : recorder->changes)
            n += c.state == ST_STATIC ? 1 : 0;
        return n;
    }

    TestGraph graph;
    Module* module = nullptr;
    std::map<int, TestSource*> sources;
    Recorder* recorder = nullptr;
};

} // namespace kvtest
