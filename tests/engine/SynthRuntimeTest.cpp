// The engine front end to end: patch documents from tests/patches built into
// running graphs, driven with host-sized buffers and block sizes that do not
// divide the internal block evenly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/QueMessage.h"
#include "core/my_streams.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/events/dsp_msg_target.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"
#include "tests/ThreadWait.h"

namespace
{
std::string ReadPatch(const std::string& name)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Host buffers of one block: separate channels.
struct HostBuffers
{
    HostBuffers(int channelsIn, int channelsOut, int frames)
        : in(static_cast<size_t>(channelsIn), std::vector<float>(static_cast<size_t>(frames))),
          out(static_cast<size_t>(channelsOut), std::vector<float>(static_cast<size_t>(frames), -99.0f))
    {
        for (auto& c : in)
            inPtrs.push_back(c.data());
        for (auto& c : out)
            outPtrs.push_back(c.data());
    }
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtrs, outPtrs;
};

float Signal(int channel, int64_t t)
{
    return 0.1f * static_cast<float>(channel + 1) * std::sin(0.05f * static_cast<float>(t));
}

// Runs `total` samples in host blocks of the given sizes (cycled), feeding
// Signal() on every input channel; returns the output channels.
std::vector<std::vector<float>> RunHost(SynthRuntime& runtime, int channelsIn, int channelsOut, int total,
                                    const std::vector<int>& blocks)
{
    std::vector<std::vector<float>> result(static_cast<size_t>(channelsOut));
    int64_t t = 0;
    for (size_t b = 0; t < total; ++b)
    {
        const int n = std::min<int>(blocks[b % blocks.size()], total - static_cast<int>(t));
        HostBuffers io(channelsIn, channelsOut, n);
        for (int c = 0; c < channelsIn; ++c)
            for (int i = 0; i < n; ++i)
                io.in[static_cast<size_t>(c)][static_cast<size_t>(i)] = Signal(c, t + i);
        runtime.AudioMaster()->DoProcess(n, io.inPtrs.data(), io.outPtrs.data(), channelsIn, channelsOut);
        for (int c = 0; c < channelsOut; ++c)
            result[static_cast<size_t>(c)].insert(result[static_cast<size_t>(c)].end(),
                                                  io.out[static_cast<size_t>(c)].begin(),
                                                  io.out[static_cast<size_t>(c)].end());
        t += n;
    }
    return result;
}
} // namespace

TEST(SynthRuntime, AStereoDocumentPassesAudioFromHostInputToHostOutputBlockByBlock)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    EXPECT_EQ(master->getNumInputs(), 2);
    EXPECT_EQ(master->getNumOutputs(), 2);
    EXPECT_EQ(master->BlockSize(), 128);

    const auto out = RunHost(runtime, 2, 2, 3000, {441, 100, 37, 512});
    for (int c = 0; c < 2; ++c)
        for (int64_t t = 0; t < 3000; ++t)
            ASSERT_FLOAT_EQ(out[static_cast<size_t>(c)][static_cast<size_t>(t)], Signal(c, t)) << c << " " << t;
}

TEST(SynthRuntime, HostMidiReachesTheMidiRingOfTheHostOutputAtItsSampleTime)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(48000, 256, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    RunHost(runtime, 2, 2, 300, {300});

    const unsigned char noteOn[3] = {0x90, 60, 100};
    const unsigned char sysex[6] = {0xF0, 1, 2, 3, 4, 0xF7};
    master->MidiIn(17, noteOn, 3);
    master->MidiIn(40, sysex, 6);
    RunHost(runtime, 2, 2, 100, {100});

    MidiOutputBuffer* ring = master->getMidiOutputBuffer();
    ASSERT_NE(ring, nullptr);
    int64_t time = 0;
    unsigned char bytes[16] = {};
    int32_t n = 0;
    ASSERT_TRUE(ring->Read(time, bytes, 16, n));
    EXPECT_EQ(time, 317);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(bytes[0], 0x90);
    EXPECT_EQ(bytes[2], 100);
    ASSERT_TRUE(ring->Read(time, bytes, 16, n));
    EXPECT_EQ(time, 340);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(bytes[5], 0xF7);
    EXPECT_FALSE(ring->Read(time, bytes, 16, n));
}

TEST(SynthRuntime, TwoLinesIntoOneInputAreSummedAndAnUnconnectedInputCarriesItsDefault)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 441, ReadPatch("sum_and_default.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    EXPECT_EQ(master->BlockSize(), 63);
    EXPECT_EQ(master->MainContainer()->VoiceCount(), 128);
    EXPECT_EQ(master->MainContainer()->VoiceReserveCount(), 32);

    const auto out = RunHost(runtime, 2, 2, 2000, {441, 64, 1, 300});
    for (size_t t = 0; t < 2000; ++t)
    {
        const auto time = static_cast<int64_t>(t);
        ASSERT_NEAR(out[0][t], Signal(0, time) + Signal(1, time), 1e-6f) << t;
        ASSERT_FLOAT_EQ(out[1][t], 0.25f) << t;
    }
}

TEST(SynthRuntime, InitialisingAgainWithTheSameRateAndBlockSizeKeepsTheEngine)
{
    SynthRuntime runtime;
    const std::string patch = ReadPatch("stereo_thru.dsp.kv.xml");
    ASSERT_TRUE(runtime.initialize(44100, 512, patch.c_str()));
    KvAudioMaster* first = runtime.AudioMaster();
    RunHost(runtime, 2, 2, 1000, {512});
    const int64_t clock = first->SampleClock();

    // 1024 also gives internal blocks of 128.
    EXPECT_TRUE(runtime.initialize(44100, 1024, patch.c_str()));
    EXPECT_EQ(runtime.AudioMaster(), first);
    EXPECT_EQ(first->SampleClock(), clock);

    EXPECT_TRUE(runtime.initialize(48000, 1024, patch.c_str()));
    EXPECT_EQ(runtime.AudioMaster()->SampleRate(), 48000.0f);
    EXPECT_EQ(runtime.AudioMaster()->SampleClock(), 0);
    const auto out = RunHost(runtime, 2, 2, 700, {333});
    EXPECT_FLOAT_EQ(out[1][650], Signal(1, 650));
}

TEST(SynthRuntime, RebuildingStartsAgainAndKeepsWhatThePatchManagerHolds)
{
    // Three programs of five parameters; the main container's own manager.
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(48000, 256, ReadPatch("KvProgramSynth/dsp.kv.xml").c_str()));
    const auto manager = [&] {
        return dynamic_cast<DspPatchManager*>(runtime.AudioMaster()->MainContainer()->get_patch_manager());
    };
    ASSERT_NE(manager(), nullptr);
    const auto state = [&] {
        std::string text;
        runtime.AudioMaster()->getPresetState_UI_THREAD(text, false);
        return text;
    };
    const std::string program0 = state();
    manager()->setProgramDspThread(2);
    constexpr int kController7 = 0x02000007;
    manager()->GetParameter(102)->setAutomation(kController7);
    manager()->setMidiChannel(3);
    hasMidiTuning::Table tuning = manager()->Tuning();
    tuning[60] += 8192;
    manager()->SetTuning(tuning);
    const std::string program2 = state();
    ASSERT_NE(program2, program0);
    RunHost(runtime, 0, 2, 1000, {256});

    // An empty text builds the document the engine was built from.
    ASSERT_TRUE(runtime.Rebuild(48000, 256, ""));
    EXPECT_EQ(runtime.AudioMaster()->SampleClock(), 0);
    EXPECT_EQ(manager()->getProgram(), 2);
    EXPECT_EQ(state(), program2);
    EXPECT_EQ(manager()->GetParameter(102)->getAutomation(), kController7);
    EXPECT_EQ(manager()->getMidiChannel(), 3);
    EXPECT_EQ(manager()->Tuning(), tuning);
    manager()->setProgramDspThread(0);
    EXPECT_EQ(state(), program0);
}

TEST(SynthRuntime, AnEngineWithoutAGraphIsNotKeptWhenADocumentArrives)
{
    SynthRuntime runtime;
    EXPECT_FALSE(runtime.initialize(44100, 512, ""));
    EXPECT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    EXPECT_EQ(runtime.AudioMaster()->getNumOutputs(), 2);
    // And an engine with one is not given up for an empty text.
    EXPECT_TRUE(runtime.initialize(44100, 512, ""));
    EXPECT_EQ(runtime.AudioMaster()->getNumOutputs(), 2);
}

TEST(SynthRuntime, AHostWithFewerChannelsThanPinsGetsItsOwnChannelsAndNoStrayWrites)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();

    // One input and one output channel: the graph's second pins have none.
    const auto mono = RunHost(runtime, 1, 1, 900, {200, 77});
    for (size_t t = 0; t < 900; ++t)
        ASSERT_FLOAT_EQ(mono[0][t], Signal(0, static_cast<int64_t>(t))) << t;

    // Null channel pointers and no channel arrays at all are taken as absent.
    std::vector<float> left(256, 0.5f);
    std::vector<float> outLeft(256, -1.0f);
    float* inputs[2] = {left.data(), nullptr};
    float* outputs[2] = {outLeft.data(), nullptr};
    master->DoProcess(256, inputs, outputs, 2, 2);
    for (float v : outLeft)
        ASSERT_FLOAT_EQ(v, 0.5f);
    master->DoProcess(256, nullptr, nullptr, 0, 0);
}

TEST(SynthRuntime, HostChannelsBeyondTheGraphsOutputsAreSilenced)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    const auto out = RunHost(runtime, 2, 4, 300, {300});
    for (size_t t = 0; t < 300; ++t)
    {
        ASSERT_FLOAT_EQ(out[2][t], 0.0f);
        ASSERT_FLOAT_EQ(out[3][t], 0.0f);
    }
}

TEST(SynthRuntime, InterleavedHostBuffersAreReadAndWrittenWithTheirStride)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    const int frames = 300;
    std::vector<float> in(2 * frames);
    std::vector<float> out(2 * frames, -1.0f);
    for (int i = 0; i < frames; ++i)
    {
        in[static_cast<size_t>(2 * i)] = Signal(0, i);
        in[static_cast<size_t>(2 * i + 1)] = Signal(1, i);
    }
    float* inputs[2] = {in.data(), in.data() + 1};
    float* outputs[2] = {out.data(), out.data() + 1};
    master->DoProcess(frames, inputs, outputs, 2, 2, 2, 2);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_FLOAT_EQ(out[i], in[i]) << i;
}

TEST(SynthRuntime, TextThatBuildsNoGraphReportsNoGraphAndTheEngineIsSilent)
{
    const char* bad[] = {
        "",
        "<DSP><Container Id=\"1\"><Modules>",            // does not parse
        "<PluginList/>",                                  // no DSP
        "<DSP/>",                                         // empty DSP
        "<DSP><Container Id=\"1\"/></DSP>",               // no container inside the top one
        "<DSP><Container Id=\"1\"><Modules><Module Type=\"IO Mod\" Id=\"2\"/></Modules></Container></DSP>",
    };
    for (const char* text : bad)
    {
        SynthRuntime runtime;
        EXPECT_FALSE(runtime.initialize(44100, 512, text)) << text;
        EXPECT_FALSE(runtime.HasGraph());
        KvAudioMaster* master = runtime.AudioMaster();
        ASSERT_NE(master, nullptr);
        EXPECT_EQ(master->getNumInputs(), 0);
        EXPECT_EQ(master->getNumOutputs(), 0);
        EXPECT_EQ(master->getMidiOutputBuffer(), nullptr);
        if (*text)
        {
            ASSERT_FALSE(master->BuildMessages().empty());
            EXPECT_NE(master->BuildMessages().back().find("no graph"), std::string::npos);
        }
        const unsigned char note[3] = {0x90, 1, 1};
        master->MidiIn(0, note, 3);
        const auto out = RunHost(runtime, 2, 2, 200, {200});
        for (float v : out[0])
            ASSERT_FLOAT_EQ(v, 0.0f);
    }
}

TEST(SynthRuntime, DeeplyNestedTextIsRefusedBeforeParsing)
{
    std::string text = "<DSP>";
    for (int i = 0; i < 5000; ++i)
        text += "<a>";
    SynthRuntime runtime;
    EXPECT_FALSE(runtime.initialize(44100, 512, text.c_str()));
    EXPECT_NE(runtime.AudioMaster()->BuildMessages().back().find("nests deeper"), std::string::npos);
}

TEST(SynthRuntime, ADocumentWithFaultsBuildsWhatIsSoundAndLogsEachSkippedItem)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("broken_parts.dsp.kv.xml").c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    EXPECT_EQ(master->getNumInputs(), 1);
    EXPECT_EQ(master->getNumOutputs(), 1);
    EXPECT_EQ(master->MainContainer()->VoiceCount(), 128);
    EXPECT_EQ(master->TopContainer()->VoiceCount(), 1);

    const auto count = [&](const std::string& part) {
        int n = 0;
        for (const auto& message : master->BuildMessages())
            n += message.find(part) != std::string::npos ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count("unknown module type \"No Such Module\""), 1);
    EXPECT_EQ(count("module without Id"), 1);
    EXPECT_EQ(count("pin that does not exist"), 2);
    EXPECT_EQ(count("different datatypes"), 1);
    EXPECT_EQ(count("not from an output to an input"), 1);
    EXPECT_EQ(count("ends are not both modules"), 3);
    EXPECT_EQ(count("oversampling by 2147483647 passes the limit of 4096"), 1);
    // The patch manager is built; the program it names is not stored by any
    // parameter (there are none), so the manager stays at program 0.
    ASSERT_NE(master->TopContainer()->get_patch_manager(), nullptr);
    EXPECT_EQ(master->TopContainer()->get_patch_manager()->getProgram(), 0);

    const auto out = RunHost(runtime, 1, 1, 500, {129});
    for (size_t t = 0; t < 500; ++t)
        ASSERT_FLOAT_EQ(out[0][t], Signal(0, static_cast<int64_t>(t)));
}

TEST(SynthRuntime, MessagesFromTheEditorSideReachTheObjectOfTheirHandleWhenTheQueueIsServiced)
{
    struct Target : dsp_msg_target
    {
        void OnUiMsg(int id, my_input_stream& stream) override
        {
            stream >> value;
            lastId = id;
        }
        int lastId = 0;
        int32_t value = 0;
    } target;
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    runtime.AudioMaster()->RegisterDspMsgHandle(&target, 321);
    const int32_t payload = 77;
    ASSERT_TRUE(WriteQueMessage(runtime.QueueFromGui(), 321, QueMessageId::ppc, &payload, 4));
    ASSERT_TRUE(WriteQueMessage(runtime.QueueFromGui(), 999, QueMessageId::ppc, &payload, 4));
    runtime.QueueFromGui().Send();
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(target.lastId, QueMessageId::ppc);
    EXPECT_EQ(target.value, 77);
    EXPECT_TRUE(runtime.QueueFromGui().isEmpty());
}

TEST(SynthRuntime, FileNamesWithoutAFolderAreResolvedInTheModuleFolder)
{
    SynthRuntime runtime;
    runtime.setModuleFolder(L"/bundle/Resources");
    EXPECT_EQ(runtime.ResolveFilename(L"kick", L"wav"), L"/bundle/Resources/kick.wav");
    EXPECT_EQ(runtime.ResolveFilename(L"kick.aif", L"wav"), L"/bundle/Resources/kick.aif");
    EXPECT_EQ(runtime.ResolveFilename(L"kick", L""), L"kick");
    EXPECT_EQ(runtime.ResolveFilename(L"C:/samples/kick.wav", L""), L"C:/samples/kick.wav");
    EXPECT_EQ(runtime.ResolveFilename(L"/samples/kick", L"wav"), L"/samples/kick.wav");
}

TEST(SynthRuntime, AnEngineABlockFoundLivesUntilThatBlockEndsWhileARebuildReplacesIt)
{
    // A block that has found the engine (and not yet entered it) while the
    // host rebuilds on another thread: the new engine is published, and the
    // old one stays whole until the block lets it go; only then does the
    // rebuild return. (Under AddressSanitizer, a use of a freed engine fails.)
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(48000, 256, ReadPatch("stereo_thru.dsp.kv.xml").c_str()));
    std::atomic<bool> rebuilt{false};
    std::thread rebuild;
    {
        const SynthRuntime::BlockUse use(runtime);
        KvAudioMaster* old = use.Master();
        ASSERT_NE(old, nullptr);
        rebuild = std::thread([&] {
            runtime.Rebuild(48000, 256, "");
            rebuilt = true;
        });
        ASSERT_TRUE(kv_test::WaitUntil([&] { return runtime.AudioMaster() != old; }))
            << "the rebuild published no engine";
        // However long the block takes, the rebuild waits for it.
        for (int i = 0; i < 100 && !rebuilt; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(rebuilt) << "the engine the block holds was freed";
        const KvAudioMaster::BlockScope scope(*old);
        EXPECT_FALSE(scope.entered());
        EXPECT_EQ(old->SampleRate(), 48000.0f);
    }
    rebuild.join();
    EXPECT_TRUE(rebuilt);
}
