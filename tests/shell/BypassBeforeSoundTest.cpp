// A bypass the host turns on before anything has sounded: from a saved state
// given while the instance is active or before its activation, at the start
// of the first block, or in a block without samples ahead of it. Nothing of
// the engine's signal may come through: an instrument is silent from the
// first sample of its note (the demo instrument) or of its drone (the demo
// filter), and an effect plays its dry input exactly. The bundles are loaded
// as a host loads them; the effect is the shell's module in a bundle of its
// own documents, a low-pass on each of two inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "HostModel.h"
#include "ShellTestSupport.h"

using namespace host_model;

namespace
{
constexpr int32 kBlock = 256;

const char* const kLowPassEffect = R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
  <Plugs><Plug Direction="0" Datatype="5"/><Plug Direction="0" Datatype="5"/>
    <Plug Direction="1" Datatype="5"/><Plug Direction="1" Datatype="5"/></Plugs>
  <Modules>
    <Module Type="IO Mod" Id="3"><Plugs><Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
      <Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="3"/></Plugs></Module>
    <Module Type="1 Pole LP" Id="4"><Plugs><Plug Idx="1" Default="6"/></Plugs></Module>
    <Module Type="1 Pole LP" Id="5"><Plugs><Plug Idx="1" Default="6"/></Plugs></Module>
  </Modules>
  <Lines><Line From="3" FromPin="0" To="4" ToPin="0"/><Line From="4" FromPin="2" To="3" ToPin="2"/>
    <Line From="3" FromPin="1" To="5" ToPin="0"/><Line From="5" FromPin="2" To="3" ToPin="3"/></Lines>
</Module></Modules></Container></DSP>)";

// The demo filter's module under another name, with the effect's documents.
std::string MakeEffectBundle(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    const fs::path bundle = folder / "KvLowPassEffect.vst3";
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    fs::copy_file(fs::path(KV_DEMO_BUNDLE) / "Contents" / "x86_64-linux" / "KvDemoFilter.so",
                  bundle / "Contents" / "x86_64-linux" / "KvLowPassEffect.so", fs::copy_options::overwrite_existing);
    shell_test::WriteText(bundle / "Contents" / "Resources" / "factory.kv.xml",
                          R"(<Factory><Vendor Name="Korvane" Url="u" Email="e@x.invalid"/><Plugins>
  <Plugin Name="KvLowPassEffect" Version="1.0.0" ProcessorId="{3C0E5A61-9B7D-4E21-A8F4-6D15C2B70E01}"
    ControllerId="{3C0E5A61-9B7D-4E21-A8F4-6D15C2B70E02}" subCategories="Fx|Filter"/></Plugins></Factory>)");
    shell_test::WriteText(bundle / "Contents" / "Resources" / "dsp.kv.xml", kLowPassEffect);
    shell_test::WriteText(bundle / "Contents" / "Resources" / "parameters.kv.xml",
                          "<Document><Controller><Parameters/></Controller></Document>");
    return bundle.string();
}
} // namespace

TEST(BypassBeforeSound, NothingOfTheEngineComesThroughAnInstrumentIsSilentAnEffectPlaysItsDryInput)
{
    enum class Way
    {
        StateWhileActive,
        StateBeforeActivation,
        FirstBlock,
        BlockWithoutSamples
    };
    const std::pair<Way, const char*> ways[] = {{Way::StateWhileActive, "state given to the active instance"},
                                                {Way::StateBeforeActivation, "state given before activation"},
                                                {Way::FirstBlock, "switched at the first block's start"},
                                                {Way::BlockWithoutSamples, "switched in a block without samples"}};
    shell_test::ScratchFolder scratch;
    const std::string bundles[] = {KV_DEMO_SYNTH_BUNDLE, KV_DEMO_BUNDLE, MakeEffectBundle(scratch.path())};
    for (const std::string& bundle : bundles)
    {
        SCOPED_TRACE(bundle);
        // Bypassed, an instrument is silent and an effect passes its input
        // (every input at Plugin::kDry); not bypassed, each sounds otherwise
        // from the first block, the instrument with a note at its start.
        Plugin heard(bundle);
        ASSERT_TRUE(heard.instance);
        const bool effect = !heard.instance->inputChannels().empty();
        const float dry = effect ? Plugin::kDry : 0.0f;
        const bool note = heard.instance->hasEventInput();
        const auto bypassed = [&](const std::vector<float>& out) {
            return std::all_of(out.begin(), out.end(), [&](float v) { return v == dry; });
        };
        EXPECT_FALSE(bypassed(heard.Block(kBlock, {}, note)));
        const std::optional<ParameterInfo> flagged = heard.Flagged(ParameterInfo::kIsBypass);
        ASSERT_TRUE(flagged);
        const ParamID id = flagged->id;

        // A state saved with the bypass on.
        Plugin saved(bundle);
        saved.controller()->setParamNormalized(id, 1.0);
        saved.Block(kBlock, {{id, 1.0}});
        const std::vector<char> processorState = saved.ProcessorState();
        const std::vector<char> controllerState = saved.ControllerState();

        for (const auto& [way, name] : ways)
        {
            SCOPED_TRACE(name);
            Plugin plugin(bundle);
            ASSERT_TRUE(plugin.instance);
            IComponent* component = plugin.component();
            std::vector<Change> first;
            switch (way)
            {
            case Way::StateWhileActive:
                plugin.Restore(processorState, controllerState);
                break;
            case Way::StateBeforeActivation:
                plugin.instance->processor()->setProcessing(false);
                ASSERT_EQ(component->setActive(false), kResultOk);
                plugin.Restore(processorState, controllerState);
                ASSERT_EQ(component->setActive(true), kResultOk);
                plugin.instance->processor()->setProcessing(true);
                break;
            case Way::FirstBlock:
                plugin.controller()->setParamNormalized(id, 1.0);
                first.push_back({id, 1.0, 0});
                break;
            case Way::BlockWithoutSamples:
                plugin.controller()->setParamNormalized(id, 1.0);
                plugin.Block(0, {{id, 1.0}});
                break;
            }
            EXPECT_EQ(plugin.controller()->getParamNormalized(id), 1.0);
            EXPECT_TRUE(bypassed(plugin.Block(kBlock, first, note)));
            EXPECT_TRUE(bypassed(plugin.Block(kBlock)));
        }
    }
}
