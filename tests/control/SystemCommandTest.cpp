// "OS Command": its trigger state follows the input through the Schmitt
// trigger, and a static input lets it sleep.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/TestGraph.h"
#include "modules/control/ug_system_command.h"
#include "core/CModuleFactory.h"
#include "core/Module_Info.h"

namespace
{
// The module with a test source on its trigger input.
struct CommandRig
{
    CommandRig()
    {
        module = static_cast<ug_system_command*>(CModuleFactory::Instance()->GetById(L"OS Command")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        source = graph.Add<kvtest::TestSource>(10);
        ug_base::connect(source->plugs_[kvtest::TestSource::PN_AUDIO], module->plugs_[ug_system_command::PN_TRIGGER]);
        graph.OpenAll();
    }
    kvtest::TestGraph graph;
    ug_system_command* module = nullptr;
    kvtest::TestSource* source = nullptr;
};
} // namespace

TEST(SystemCommand, AnInputRisingFromZeroToFiveVoltsFlipsTheStateOnce)
{
    CommandRig rig;
    auto& graph = rig.graph;
    auto* module = rig.module;
    auto* source = rig.source;

    // A slow ramp with a little ripple crosses 3.33 V once.
    source->Stream([](int64_t t) {
        const float ramp = std::fmin(0.5f, 0.0005f * static_cast<float>(t));
        return ramp + 0.01f * std::sin(0.3f * static_cast<float>(t));
    });
    graph.Run(2000);
    EXPECT_TRUE(module->TriggerState());
    EXPECT_EQ(module->TriggerChanges(), 1);

    source->HoldConstant(0.0f);
    graph.Run(500);
    EXPECT_FALSE(module->TriggerState());
    EXPECT_EQ(module->TriggerChanges(), 2);
    EXPECT_TRUE(module->GetProcessFunction() == &ug_base::process_sleep);
}

TEST(SystemCommand, ValuesBetweenTheThresholdsNeverChangeTheState)
{
    CommandRig rig;
    auto& graph = rig.graph;
    auto* module = rig.module;
    auto* source = rig.source;

    source->Stream([](int64_t t) { return 0.25f + 0.08f * std::sin(0.05f * static_cast<float>(t)); });
    graph.Run(1000);
    EXPECT_EQ(module->TriggerChanges(), 0);
    source->HoldConstant(0.9f);
    graph.Run(200);
    source->HoldConstant(0.2f);
    graph.Run(200);
    EXPECT_TRUE(module->TriggerState());
    source->Stream([](int64_t) { return std::nanf(""); });
    graph.Run(300);
    EXPECT_TRUE(module->TriggerState());
    EXPECT_EQ(module->TriggerChanges(), 1);
}
