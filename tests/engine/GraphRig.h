#pragma once
// A top container on a bare audio master, for tests of graph building:
// modules are added to the container as the document reader adds them.

#include <memory>

#include "core/CModuleFactory.h"
#include "engine/graph/EngineModules.h"
#include "engine/TestGraph.h"
#include "engine/graph/ug_container.h"

namespace kvtest
{

struct GraphRig
{
    explicit GraphRig(int blockSize = 96) : master(44100.0f)
    {
        RegisterEngineModules();
        master.SetBlockSize(blockSize);
        master.ResetBlockLoop();
        top.reset(static_cast<ug_container*>(CModuleFactory::Instance()->GetById(L"Container")->BuildSynthOb()));
        top->Setup(&master, nullptr);
    }
    ~GraphRig()
    {
        master.ResetBlockLoop();
        top.reset();
    }

    template <class Unit>
    Unit* Add()
    {
        auto* unit = static_cast<Unit*>(TestRecord<Unit>().BuildSynthOb());
        top->AddUG(unit);
        unit->Setup(&master, nullptr);
        return unit;
    }
    // Defaults, sort order; then open.
    void BuildAndOpen()
    {
        top->PostBuildStuff(true);
        top->Open();
    }
    void Run(int samples) { master.DoProcessVST(samples); }

    AudioMasterBase master;
    std::unique_ptr<ug_container> top;
};

} // namespace kvtest
