// A bypass the host turns on before anything has sounded: from a saved state
// given while the instance is active or before its activation, at the start
// of the first block, or in a block without samples ahead of it. Nothing of
// the engine's signal may come through: an instrument is silent from the
// first sample of its note (the demo instrument) or of its drone (the demo
// filter), and an effect plays its dry input exactly. And a bypass switched
// while sound plays, where it happens to pass through 0: it fades as ever.
// The bundles are loaded as a host loads them; the effects are the shell's
// module in bundles of their own documents, a low-pass or an inverter on
// each of two inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "HostModel.h"
#include "ShellTestSupport.h"

using namespace host_model;

namespace
{
constexpr int32 kBlock = 256;

// A stereo effect of one module per channel, of `type` with its second
// input at `second`.
std::string StereoEffect(const std::string& type, const std::string& second)
{
    const std::string module = R"(<Plugs><Plug Idx="1" Default=")" + second + R"("/></Plugs></Module>)";
    return R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
  <Plugs><Plug Direction="0" Datatype="5"/><Plug Direction="0" Datatype="5"/>
    <Plug Direction="1" Datatype="5"/><Plug Direction="1" Datatype="5"/></Plugs>
  <Modules>
    <Module Type="IO Mod" Id="3"><Plugs><Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
      <Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="3"/></Plugs></Module>
    <Module Type=")" + type + R"(" Id="4">)" + module + R"(
    <Module Type=")" + type + R"(" Id="5">)" + module + R"(
  </Modules>
  <Lines><Line From="3" FromPin="0" To="4" ToPin="0"/><Line From="4" FromPin="2" To="3" ToPin="2"/>
    <Line From="3" FromPin="1" To="5" ToPin="0"/><Line From="5" FromPin="2" To="3" ToPin="3"/></Lines>
</Module></Modules></Container></DSP>)";
}
const std::string kLowPassEffect = StereoEffect("1 Pole LP", "6");
// Each input's negative on its output.
const std::string kInverterEffect = StereoEffect("Multiply", "-1");

// The demo filter's module under another name, with an effect's documents;
// `tag` tells the class ids of effects apart.
std::string MakeEffectBundle(const std::filesystem::path& folder, const std::string& name = "KvLowPassEffect",
                             const std::string& dsp = kLowPassEffect, char tag = '0')
{
    namespace fs = std::filesystem;
    const fs::path bundle = folder / (name + ".vst3");
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    fs::copy_file(fs::path(KV_DEMO_BUNDLE) / "Contents" / "x86_64-linux" / "KvDemoFilter.so",
                  bundle / "Contents" / "x86_64-linux" / (name + ".so"), fs::copy_options::overwrite_existing);
    const std::string id = std::string("{3C0E5A61-9B7D-4E21-A8F4-6D15C2B70E") + tag;
    shell_test::WriteText(bundle / "Contents" / "Resources" / "factory.kv.xml",
                          R"(<Factory><Vendor Name="Korvane" Url="u" Email="e@x.invalid"/><Plugins>
  <Plugin Name=")" + name + R"(" Version="1.0.0" ProcessorId=")" + id + R"(1}"
    ControllerId=")" + id + R"(2}" subCategories="Fx|Filter"/></Plugins></Factory>)");
    shell_test::WriteText(bundle / "Contents" / "Resources" / "dsp.kv.xml", dsp);
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

TEST(BypassBeforeSound, ASwitchWhereASoundingSignalPassesThroughZeroFadesAndOneAfterSilenceTakesEffectAtOnce)
{
    // The inverter: the engine plays -x where the dry signal is x, so a
    // fade passes through 0 while a cut flips the sign. Its input is a
    // 500 Hz sine that is exactly 0 at the sample before the switch, either
    // sounding since the first block or silent until the switch.
    constexpr int32 kSwitch = 600;   // in the third block
    constexpr int32 kRamp = 240;     // 5 ms at 48 kHz
    constexpr int32 kLength = 4 * kBlock;
    struct Case
    {
        const char* name;
        bool bypassedBefore;
        bool silentBefore;
    };
    const Case cases[] = {{"turned on while it sounds", false, false},
                          {"turned off while it sounds", true, false},
                          {"turned on after silence", false, true},
                          {"turned off after silence", true, true}};
    shell_test::ScratchFolder scratch;
    const std::string bundle = MakeEffectBundle(scratch.path(), "KvInverterEffect", kInverterEffect, '1');
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<float> input(kLength);
        for (int32 n = c.silentBefore ? kSwitch - 1 : 0; n < kLength; ++n)
            input[static_cast<std::size_t>(n)] =
                0.5f * static_cast<float>(std::sin(2.0 * M_PI * (n - (kSwitch - 1)) / 96.0));
        ASSERT_EQ(input[kSwitch - 1], 0.0f);

        Plugin plugin(bundle);
        ASSERT_TRUE(plugin.instance);
        const std::optional<ParameterInfo> flagged = plugin.Flagged(ParameterInfo::kIsBypass);
        ASSERT_TRUE(flagged);
        // Switched at the first block's start (before anything played: at
        // once) when it starts bypassed, and again at kSwitch.
        std::vector<float> left;
        for (int32 start = 0; start < kLength; start += kBlock)
        {
            std::vector<Change> changes;
            if (start == 0 && c.bypassedBefore)
                changes.push_back({flagged->id, 1.0, 0});
            if (kSwitch >= start && kSwitch < start + kBlock)
                changes.push_back({flagged->id, c.bypassedBefore ? 0.0 : 1.0, kSwitch - start});
            const std::vector<float> block(input.begin() + start, input.begin() + start + kBlock);
            const std::vector<float> out = plugin.Block(kBlock, changes, false, nullptr, &block);
            ASSERT_EQ(out.size(), 2u * kBlock);
            // Both outputs play the same.
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + kBlock, out.begin() + kBlock));
            left.insert(left.end(), out.begin(), out.begin() + kBlock);
        }
        const auto engine = [&](int32 n) { return -input[static_cast<std::size_t>(n)]; };
        const auto dry = [&](int32 n) { return input[static_cast<std::size_t>(n)]; };
        const auto before = [&](int32 n) { return c.bypassedBefore ? dry(n) : engine(n); };
        const auto after = [&](int32 n) { return c.bypassedBefore ? engine(n) : dry(n); };
        int32 unlike = 0;
        for (int32 n = 0; n < kSwitch; ++n)
            unlike += left[static_cast<std::size_t>(n)] != before(n);
        EXPECT_EQ(unlike, 0) << "before the switch";
        // After silence, the switch plays the other side from its sample.
        // While it sounds, the first 40% of the fade still side with what
        // played before (where it is not 0), and the other side plays whole
        // once the fade has ended.
        const int32 fade = c.silentBefore ? 0 : kRamp;
        int32 sided = 0;
        int32 sounding = 0;
        for (int32 n = kSwitch; n < kSwitch + fade * 2 / 5; ++n)
        {
            sounding += before(n) != 0.0f;
            sided += left[static_cast<std::size_t>(n)] * before(n) > 0.0f;
        }
        EXPECT_EQ(sided, sounding) << "no fade";
        unlike = 0;
        for (int32 n = kSwitch + fade; n < kLength; ++n)
            unlike += left[static_cast<std::size_t>(n)] != after(n);
        EXPECT_EQ(unlike, 0) << "after the switch";
    }
}
