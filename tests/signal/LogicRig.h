#pragma once
// A registered logic module with a chosen number of copies of its
// auto-duplicating pin (made as the patch document makes them), a test source
// on each chosen input and a recorder on each chosen output.

#include <map>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"

namespace kvtest
{

template <class Module>
struct LogicRig
{
    LogicRig(const wchar_t* type, int duplicatedPin, int copies, const std::vector<int>& fedInputs,
             const std::vector<int>& recordedOutputs, int blockSize = 96, float rate = 44100.0f)
        : graph(blockSize, rate)
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(type);
        module = static_cast<Module*>(info->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        for (int c = 0; c < copies; ++c)
        {
            auto* pin = new UPlug(module, *info->getPinDescriptionById(duplicatedPin));
            pin->id_ = 100 + c;
            module->AddPlug(pin);
            pin->CreateBuffer();
        }
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        for (int pin : fedInputs)
        {
            TestSource* source = graph.Add<TestSource>(10);
            ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[static_cast<size_t>(pin)]);
            sources[pin] = source;
        }
        for (int pin : recordedOutputs)
        {
            Recorder* recorder = graph.Add<Recorder>(1);
            ug_base::connect(module->plugs_[static_cast<size_t>(pin)], recorder->plugs_[Recorder::PN_AUDIO]);
            recorders[pin] = recorder;
        }
        graph.OpenAll();
    }

    TestSource& In(int pin) { return *sources.at(pin); }
    Recorder& Out(int pin) { return *recorders.at(pin); }
    int StaticAnnouncements(int pin)
    {
        int n = 0;
        for (const auto& c : Out(pin).changes)
            n += c.state == ST_STATIC ? 1 : 0;
        return n;
    }

    TestGraph graph;
    Module* module = nullptr;
    std::map<int, TestSource*> sources;
    std::map<int, Recorder*> recorders;
};

} // namespace kvtest
