// "IO Mod", the connection point of a container, in graphs built from patch
// documents, with the signal modules linked.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"

namespace
{
std::string ReadPatch(const std::string& name)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs blocks of a constant input; returns the last block's output.
std::vector<float> RunConstant(KvAudioMaster* master, float value, int blocks, int frames)
{
    std::vector<float> in(static_cast<size_t>(frames), value);
    std::vector<float> out(static_cast<size_t>(frames));
    float* inputs[1] = {in.data()};
    float* outputs[1] = {out.data()};
    for (int b = 0; b < blocks; ++b)
        master->DoProcess(frames, inputs, outputs, 1, 1);
    return out;
}
} // namespace

TEST(IoMod, AnOutputGivenADefaultSendsItOnceItOpens)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 256, ReadPatch("io_mod_default.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    EXPECT_EQ(master->getNumInputs(), 0);
    ASSERT_EQ(master->getNumOutputs(), 1);
    const auto out = RunConstant(master, 0.0f, 3, 200);
    for (float v : out)
        ASSERT_FLOAT_EQ(v, 0.3f);
}

TEST(IoMod, ModulesOfAContainerExpandedInlineJoinTheMainGraph)
{
    // Output = input + low-passed input: a steady 5 V input settles at 10 V.
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("filter_chain.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    EXPECT_EQ(master->MainContainer()->VoiceCount(), 8);
    EXPECT_TRUE(master->BuildMessages().empty());
    const auto out = RunConstant(master, 0.5f, 20, 500);
    EXPECT_NEAR(out.back(), 1.0f, 1e-3f);
}
