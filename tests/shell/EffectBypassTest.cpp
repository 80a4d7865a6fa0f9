// An effect's bypass, and its reactivation, driven through the processor's VST3
// interfaces on a patch document written inline: one input through two
// delay lines of 10 ms (480 samples) to two outputs.

#include "shell/ADelayProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ShellUnitSupport.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 64;

const char* const kEcho = R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
  <Plugs><Plug Direction="0" Datatype="5"/><Plug Direction="1" Datatype="5"/><Plug Direction="1" Datatype="5"/></Plugs>
  <Modules>
    <Module Type="IO Mod" Id="3"><Plugs><Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/></Plugs></Module>
    <Module Type="Delay2" Id="4"><Plugs><Plug Idx="3" Default="0.01"/></Plugs></Module>
    <Module Type="Delay2" Id="5"><Plugs><Plug Idx="3" Default="0.01"/></Plugs></Module>
  </Modules>
  <Lines><Line From="3" FromPin="0" To="4" ToPin="0"/><Line From="4" FromPin="2" To="3" ToPin="1"/>
    <Line From="3" FromPin="0" To="5" ToPin="0"/><Line From="5" FromPin="2" To="3" ToPin="2"/></Lines>
</Module></Modules></Container></DSP>)";

float Sine(std::int64_t t)
{
    return 0.5f * static_cast<float>(std::sin(0.03 * static_cast<double>(t)));
}

// A host of mono buses; processing in place, it hands the first output's
// buffer as the input.
struct EffectHost
{
    explicit EffectHost(bool inPlace)
        : factory(MakeBundle(scratch, "E",
                             {{"factory.kv.xml", FactoryXml("Name=\"E\" subCategories=\"Fx|Delay\"")},
                              {"dsp.kv.xml", kEcho}})),
          processor(owned(new ADelayProcessor(&factory)))
    {
        factory.initialize();
        EXPECT_EQ(processor->initialize(&host), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        Reactivate();
        pointers[2] = inPlace ? buffers[0] : buffers[2];
        for (int c = 0; c < 3; ++c)
        {
            pointers[c] = c < 2 ? buffers[c] : pointers[2];
            buses[c].numChannels = 1;
            buses[c].channelBuffers32 = &pointers[c];
        }
        data.numSamples = kBlock;
        data.numInputs = 1;
        data.inputs = buses + 2;
        data.numOutputs = 2;
        data.outputs = buses;
        data.inputParameterChanges = &changes;
    }
    ~EffectHost()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }
    void Reactivate()
    {
        processor->setProcessing(false);
        EXPECT_EQ(processor->setActive(false), kResultOk);
        EXPECT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);
    }
    // `length` samples of a sine (or silence), the bypass switched at the
    // samples asked; each output in turn.
    std::vector<float> Play(std::int64_t length, bool quiet, std::vector<std::int64_t> switches = {})
    {
        std::vector<float> played[2];
        for (std::int64_t start = 0; start < length; start += kBlock)
        {
            for (int i = 0; i < kBlock; ++i)
                pointers[2][i] = quiet ? 0.0f : Sine(start + i);
            for (std::size_t s = 0; s < switches.size(); ++s)
                if (switches[s] >= start && switches[s] < start + kBlock)
                    changes.add(10131, static_cast<int32>(switches[s] - start), s % 2 == 0 ? 1.0 : 0.0);
            EXPECT_EQ(processor->process(data), kResultOk);
            changes.clear();
            for (int c = 0; c < 2; ++c)
                played[c].insert(played[c].end(), buffers[c], buffers[c] + kBlock);
        }
        played[0].insert(played[0].end(), played[1].begin(), played[1].end());
        return played[0];
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    IPtr<ADelayProcessor> processor;
    float buffers[3][kBlock] = {};
    float* pointers[3] = {};
    AudioBusBuffers buses[3] = {};
    HostParameterChanges changes;
    ProcessData data;
};
} // namespace

TEST(EffectBypass, TheInputPassesUnchangedToItsOutputTheOtherIsSilentNoClickAndReactivationEmptiesTheDelays)
{
    // On at sample 1000, off at 4000; the ramp takes 240 samples. Before
    // that, on at 100 and off at 400 while the delay lines are still silent
    // but the input is not: ramps too.
    constexpr std::size_t kLength = 6400;
    for (const bool inPlace : {false, true})
    {
        SCOPED_TRACE(inPlace ? "in place" : "apart");
        EffectHost effect(inPlace);
        const std::vector<float> played = effect.Play(kLength, false, {100, 400, 1000, 4000});
        for (int c = 0; c < 2; ++c)
        {
            const float* out = played.data() + c * kLength;
            for (std::size_t t = 1000 + 239; t < 4000; ++t)
                ASSERT_EQ(out[t], c == 0 ? Sine(static_cast<std::int64_t>(t)) : 0.0f) << c << " " << t;
            // No step beyond the sine's own (0.015 a sample at most), and a
            // ramp step (1/240) more where two signals are crossfaded.
            for (std::size_t t = 1; t < kLength; ++t)
                ASSERT_LE(std::fabs(out[t] - out[t - 1]), 0.015f + 1.0f / 240 + 1e-4f) << c << " " << t;
            // After it, the delay line plays what it heard meanwhile.
            EXPECT_NEAR(out[5000], Sine(5000 - 480), 1e-6);
        }
        // Reactivated, it starts with empty delay lines.
        effect.Reactivate();
        for (float sample : effect.Play(1024, true))
            ASSERT_EQ(sample, 0.0f);
    }
}
