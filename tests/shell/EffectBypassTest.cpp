// An effect's bypass and reactivation, driven through the processor's VST3
// interfaces on a patch document written inline: each input through a delay
// line of 10 ms to the output of the same number.

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
constexpr ParamID kBypass = 10131;

// `ins` inputs (1 or 2) and two outputs; output 1 delays the last input.
std::string EchoPatch(int ins)
{
    std::string plugs, io;
    for (int i = 0; i < ins + 2; ++i)
    {
        const bool in = i < ins;
        plugs += std::string("<Plug Direction=\"") + (in ? "0" : "1") + "\" Datatype=\"5\"/>";
        io += std::string("<Plug Direction=\"") + (in ? "1" : "0") + "\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"" +
              std::to_string(i) + "\"/>";
    }
    std::string lines;
    for (int out = 0; out < 2; ++out)
    {
        const std::string delay = std::to_string(4 + out);
        lines += "<Line From=\"3\" FromPin=\"" + std::to_string(std::min(out, ins - 1)) + "\" To=\"" + delay +
                 "\" ToPin=\"0\"/><Line From=\"" + delay + "\" FromPin=\"2\" To=\"3\" ToPin=\"" +
                 std::to_string(ins + out) + "\"/>";
    }
    const std::string delay = "<Plugs><Plug Idx=\"3\" Default=\"0.01\"/></Plugs></Module>";
    return "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Plugs>" + plugs +
           "</Plugs><Modules><Module Type=\"IO Mod\" Id=\"3\"><Plugs>" + io +
           "</Plugs></Module><Module Type=\"Delay2\" Id=\"4\">" + delay + "<Module Type=\"Delay2\" Id=\"5\">" + delay +
           "</Modules><Lines>" + lines + "</Lines></Module></Modules></Container></DSP>";
}

struct Effect
{
    Effect(int inputCount, bool inPlace)
        : factory(MakeBundle(scratch, "E",
                             {{"factory.kv.xml", FactoryXml("Name=\"E\" subCategories=\"Fx|Delay\"")},
                              {"dsp.kv.xml", EchoPatch(inputCount)},
                              {"parameters.kv.xml", "<Document/>"}})),
          processor(owned(new ADelayProcessor(&factory))), ins(inputCount),
          in(static_cast<std::size_t>(inputCount), std::vector<float>(kBlock)), out(2, std::vector<float>(kBlock))
    {
        factory.initialize();
        EXPECT_EQ(processor->initialize(&host), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);
        // Mono buses; a host processing in place hands the same buffers both ways.
        for (int c = 0; c < 2; ++c)
            outPointers[c] = out[static_cast<std::size_t>(c)].data();
        for (int c = 0; c < ins; ++c)
            inPointers[c] = inPlace ? outPointers[c] : in[static_cast<std::size_t>(c)].data();
        for (int c = 0; c < 2; ++c)
        {
            inputs[c].numChannels = outputs[c].numChannels = 1;
            inputs[c].channelBuffers32 = &inPointers[c];
            outputs[c].channelBuffers32 = &outPointers[c];
        }
        data.numInputs = ins;
        data.inputs = inputs;
        data.numOutputs = 2;
        data.outputs = outputs;
        data.numSamples = kBlock;
        data.inputParameterChanges = &changes;
    }
    ~Effect()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }
    static float Signal(int channel, std::int64_t t)
    {
        return 0.5f * static_cast<float>(std::sin(0.03 * (channel + 1) * static_cast<double>(t)));
    }
    // One block from sample `start` with `input`; the outputs, appended.
    void Process(std::int64_t start, bool input, std::vector<float> (&played)[2])
    {
        for (int c = 0; c < ins; ++c)
            for (int i = 0; i < kBlock; ++i)
                inPointers[c][i] = input ? Signal(c, start + i) : 0.0f;
        EXPECT_EQ(processor->process(data), kResultOk);
        changes.clear();
        for (int c = 0; c < 2; ++c)
            played[c].insert(played[c].end(), outPointers[c], outPointers[c] + kBlock);
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    IPtr<ADelayProcessor> processor;
    int ins;
    std::vector<std::vector<float>> in, out;
    float* inPointers[2] = {};
    float* outPointers[2] = {};
    AudioBusBuffers inputs[2] = {};
    AudioBusBuffers outputs[2] = {};
    HostParameterChanges changes;
    ProcessData data;
};
} // namespace

TEST(EffectBypass, TheInputPassesUnchangedOnTheOutputOfItsNumberAndTheRestIsSilent)
{
    // Bypass on at sample 1000, off at 4000; the ramp takes 240 samples.
    for (const int ins : {2, 1})
        for (const bool inPlace : {false, true})
        {
            SCOPED_TRACE(std::to_string(ins) + (inPlace ? " in place" : " apart"));
            Effect effect(ins, inPlace);
            std::vector<float> played[2];
            for (std::int64_t start = 0; start < 6400; start += kBlock)
            {
                if (start == 960 || start == 3968)
                    effect.changes.add(kBypass, 40 - (start == 3968 ? 8 : 0), start == 960 ? 1.0 : 0.0);
                effect.Process(start, true, played);
            }
            for (int c = 0; c < 2; ++c)
            {
                float steepest = 0.0f;
                for (std::size_t t = 1; t < 6400; ++t)
                {
                    if (t >= 1000 + 239 && t < 4000)
                    {
                        const float dry = c < ins ? Effect::Signal(c, static_cast<std::int64_t>(t)) : 0.0f;
                        ASSERT_EQ(played[c][t], dry) << t;
                    }
                    steepest = std::max(steepest, std::fabs(played[c][t] - played[c][t - 1]));
                }
                // The delayed signal and the dry one meet without a click: no
                // step beyond the signal's own (0.03 rad a sample at 0.5), and
                // at most a ramp step (1/240) more where they are crossfaded.
                EXPECT_LE(steepest, 0.5f * 0.03f * 2 + 1.0f / 240 + 1e-4f) << c;
            }
            // After the bypass the delay line plays what it heard meanwhile.
            EXPECT_NEAR(played[0][5000], Effect::Signal(0, 5000 - 480), 1e-6);
        }
}

TEST(EffectBypass, AReactivatedEffectStartsWithAnEmptyDelayLine)
{
    Effect effect(2, false);
    std::vector<float> played[2];
    for (std::int64_t start = 0; start < 1024; start += kBlock)
        effect.Process(start, true, played);
    effect.processor->setProcessing(false);
    ASSERT_EQ(effect.processor->setActive(false), kResultOk);
    ASSERT_EQ(effect.processor->setActive(true), kResultOk);
    effect.processor->setProcessing(true);
    std::vector<float> after[2];
    for (std::int64_t start = 0; start < 1024; start += kBlock)
        effect.Process(start, false, after);
    EXPECT_GT(std::fabs(played[0][1000]), 0.01f);
    for (int c = 0; c < 2; ++c)
        for (float sample : after[c])
            ASSERT_EQ(sample, 0.0f);
}
