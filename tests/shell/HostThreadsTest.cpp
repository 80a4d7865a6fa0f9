// The demo instrument driven by a host that spreads its calls over threads:
// processing switched on and off on the audio thread while the state is
// saved and restored on the user-interface thread.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ShellUnitSupport.h"
#include "shell/ADelayProcessor.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
MyVstPluginFactory DemoSynthFactory()
{
    return MyVstPluginFactory(BundleInfo::FromModulePath(std::string(KV_DEMO_SYNTH_BUNDLE) +
                                                         "/Contents/x86_64-linux/KorvaneDemoSynth.so"));
}

// The attack (handle 101, host id 1) as a processor state.
std::vector<char> AttackState(int attack)
{
    return Chunk("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"101\" index=\"1\" val=\"" +
                 std::to_string(attack) + "\" />\n</Parameters>\n");
}

} // namespace

TEST(HostThreads, ProcessingSwitchedOnTheAudioThreadLeavesEverySavedStateWhole)
{
    MyVstPluginFactory factory = DemoSynthFactory();
    factory.initialize();
    KvHostApplication host;
    IPtr<ADelayProcessor> processor = owned(new ADelayProcessor(&factory));
    processor->setInstrument(true);
    ASSERT_EQ(processor->initialize(&host), kResultOk);
    ProcessSetup setup{kRealtime, kSample32, 128, 48000.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(processor->setActive(true), kResultOk);

    std::vector<float> left(128), right(128);
    float* channels[2] = {left.data(), right.data()};
    AudioBusBuffers output{};
    output.numChannels = 2;
    output.channelBuffers32 = channels;
    ProcessData data;
    data.numSamples = 128;
    data.symbolicSampleSize = kSample32;
    data.numOutputs = 1;
    data.outputs = &output;

    // The audio thread switches processing on and off around a few blocks,
    // as hosts may, while the user-interface thread sets and saves states.
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load())
        {
            processor->setProcessing(true);
            for (int block = 0; block < 4; ++block)
                processor->process(data);
            processor->setProcessing(false);
        }
    });
    for (int i = 0; i < 40; ++i)
    {
        HostMemoryStream in(AttackState(i % 9));
        ASSERT_EQ(processor->setState(&in), kResultOk);
        HostMemoryStream out;
        ASSERT_EQ(processor->getState(&out), kResultOk);
        const std::string saved(out.bytes().begin() + 4, out.bytes().end());
        EXPECT_NE(saved.find("</Parameters>"), std::string::npos) << saved;
        EXPECT_NE(saved.find("val=\"" + std::to_string(i % 9) + "\""), std::string::npos) << i << saved;
    }
    stop = true;
    audio.join();
    processor->setActive(false);
    processor->terminate();
}
