// Runs graphs for many blocks with every heap allocation of the process
// counted and checks that, after warm-up, the block loop allocates nothing:
// filters, documents, filtered voices running together, voices, parameter
// automation, MIDI learn, drum voices, oversampled sections and SDK modules.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fstream>
#include <sstream>

#include "core/Base64.h"
#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "core/InterfaceObject.h"
#include "core/MpBlob.h"
#include "core/Module_Info.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/QueMessage.h"
#include "core/UnitClass.h"
#include "engine/GraphRig.h"
#include "engine/TestGraph.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/runtime/SynthRuntime.h"
#include "modules/signal/ug_filter_1pole.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostParameterChanges.h"
#include <filesystem>
#include <unistd.h>
#include "realtime/AllocationCounter.h"
#include "realtime/RealtimeSink.h"

using namespace kvrt;

TEST(BlockLoopAllocations, AGraphOfFiltersAndValueTrafficRunsWithoutAllocatingAfterWarmUp)
{
    TestGraph g(96);
    auto* audio = g.Add<TestSource>(10);
    auto* still = g.Add<TestSource>(10);
    auto* pitch = g.Add<TestSource>(10);
    auto* values = g.Add<TestSource>(10);
    auto* lp1 = AddFilter(g, L"1 Pole LP", 8);
    auto* hp1 = AddFilter(g, L"1 Pole HP", 6);
    auto* lp2 = AddFilter(g, L"1 Pole LP", 8);
    auto* lp3 = AddFilter(g, L"1 Pole LP", 6);
    auto* sink1 = g.Add<Sink>(1);
    auto* sink2 = g.Add<Sink>(1);

    Connect(audio, TestSource::PN_AUDIO, lp1, ug_filter_1pole::PN_SIGNAL);
    Connect(lp1, ug_filter_1pole::PN_OUTPUT, hp1, ug_filter_1pole::PN_SIGNAL);
    Connect(hp1, ug_filter_1pole::PN_OUTPUT, sink1, 0);
    Connect(still, TestSource::PN_AUDIO, lp2, ug_filter_1pole::PN_SIGNAL);
    Connect(lp2, ug_filter_1pole::PN_OUTPUT, lp3, ug_filter_1pole::PN_SIGNAL);
    Connect(lp3, ug_filter_1pole::PN_OUTPUT, sink2, 0);
    for (ug_base* f : {static_cast<ug_base*>(lp1), static_cast<ug_base*>(hp1), static_cast<ug_base*>(lp2),
                       static_cast<ug_base*>(lp3)})
        Connect(pitch, TestSource::PN_AUDIO, f, ug_filter_1pole::PN_PITCH);
    Connect(values, TestSource::PN_FLOAT, sink1, 1);
    Connect(values, TestSource::PN_TEXT, sink1, 2);
    g.OpenAll();

    audio->Stream([](int64_t t) { return 0.5f * std::sin(0.01f * static_cast<float>(t)); });
    pitch->HoldConstant(0.6f);
    still->HoldConstant(0.25f);
    // Texts of every length up to 200 characters, made before counting starts.
    std::vector<std::wstring> texts;
    for (size_t length = 0; length <= 200; length += 25)
        texts.emplace_back(length, L'k');
    values->textOut_ = L"a text longer than the inline four bytes";

    EventPool& pool = *g.master.GetEventPool();
    bool lp3Slept = false;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            if (block % 150 == 0)
                still->HoldConstant(block % 300 == 0 ? -0.25f : 0.25f);
            if (block % 7 == 0)
                pitch->HoldConstant(0.4f + 0.01f * static_cast<float>(block % 20));
            values->floatOut_ = static_cast<float>(block);
            if (block >= 300)
                values->textOut_ = texts[static_cast<size_t>(block) % texts.size()];
            values->SendPinsCurrentValue(g.master.SampleClock(), values->plugs_[TestSource::PN_FLOAT]);
            values->SendPinsCurrentValue(g.master.SampleClock() + 5, values->plugs_[TestSource::PN_TEXT]);
            g.Run(block % 3 == 0 ? 512 : 441);
            lp3Slept = lp3Slept || !lp3->IsListed();
        }
    };

    int fallbacksAfterWarmUp = 0;
    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks, 3000, [&] { fallbacksAfterWarmUp = pool.HeapFallbackCount(); }), 0);
    EXPECT_EQ(pool.HeapFallbackCount(), fallbacksAfterWarmUp);
    // The run did what it should: filters slept and woke, values arrived.
    EXPECT_TRUE(lp3Slept);
    EXPECT_GT(sink1->pinChanges, 3000);
    EXPECT_EQ(sink1->text_, values->textOut_);
    EXPECT_TRUE(std::isfinite(sink1->sum));
}

TEST(BlockLoopAllocations, AGraphBuiltFromADocumentRunsHostBlocksWithoutAllocatingAfterWarmUp)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/filter_chain.dsp.kv.xml");
    std::stringstream text;
    text << file.rdbuf();
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, text.str().c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_EQ(master->getNumInputs(), 1);
    ASSERT_EQ(master->getNumOutputs(), 1);

    std::vector<float> in(512);
    std::vector<float> out(512);
    float* inputs[1] = {in.data()};
    float* outputs[1] = {out.data()};
    double energy = 0.0;
    int64_t t = 0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int n = block % 3 == 0 ? 512 : (block % 3 == 1 ? 441 : 37);
            // Silence now and then, so that modules go static and wake again.
            const bool quiet = (block / 50) % 2 == 1;
            for (int i = 0; i < n; ++i, ++t)
                in[static_cast<size_t>(i)] = quiet ? 0.0f : 0.5f * std::sin(0.02f * static_cast<float>(t));
            const unsigned char note[3] = {0x90, static_cast<unsigned char>(block % 128), 100};
            master->MidiIn(block % n, note, 3);
            master->DoProcess(n, inputs, outputs, 1, 1);
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(out[static_cast<size_t>(i)]) * out[static_cast<size_t>(i)];
            runtime.ServiceDspRingBuffers();
            // The processor drains the MIDI ring after every block.
            int64_t when = 0;
            unsigned char bytes[4] = {};
            int32_t size = 0;
            while (master->getMidiOutputBuffer()->Read(when, bytes, 4, size))
            {
            }
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    EXPECT_TRUE(std::isfinite(energy));
    EXPECT_GT(energy, 0.0);
}

TEST(BlockLoopAllocations, FilteredVoicesRunningTogetherAllocateNothingAfterWarmUp)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/two_saw_voice.dsp.kv.xml");
    std::stringstream text;
    text << file.rdbuf();
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(48000, 512, text.str().c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    double energy = 0.0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int n = block % 3 == 0 ? 512 : (block % 3 == 1 ? 64 : 17);
            // Chords of voices struck and released at their own offsets.
            for (int k = 0; k < 5; ++k)
            {
                const unsigned char key = static_cast<unsigned char>(30 + (block * 5 + k * 11) % 80);
                const unsigned char on[3] = {static_cast<unsigned char>(block % 2 ? 0x90 : 0x80), key, 100};
                master->MidiIn((k * 7) % n, on, 3);
            }
            master->DoProcess(n, nullptr, outputs, 0, 2);
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(left[static_cast<size_t>(i)]) * left[static_cast<size_t>(i)];
            runtime.ServiceDspRingBuffers();
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    EXPECT_TRUE(std::isfinite(energy));
    EXPECT_GT(energy, 0.0);
}

TEST(BlockLoopAllocations, AnOversampledMainContainerRunsHostBlocksWithoutAllocatingAfterWarmUp)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/filter_chain.dsp.kv.xml");
    std::stringstream source;
    source << file.rdbuf();
    std::string text = source.str();
    const std::string main = "Id=\"2\" ExpandInline=\"0\"";
    ASSERT_NE(text.find(main), std::string::npos);
    text.replace(text.find(main), main.size(), main + " Oversample=\"4\"");
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, text.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_NE(dynamic_cast<ug_oversampler*>(master->MainContainer()->audioMaster_), nullptr);

    std::vector<float> in(512);
    std::vector<float> out(512);
    float* inputs[1] = {in.data()};
    float* outputs[1] = {out.data()};
    double energy = 0.0;
    int64_t t = 0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int n = block % 3 == 0 ? 512 : (block % 3 == 1 ? 441 : 37);
            for (int i = 0; i < n; ++i, ++t)
                in[static_cast<size_t>(i)] = 0.5f * std::sin(0.02f * static_cast<float>(t));
            const unsigned char note[3] = {0x90, static_cast<unsigned char>(block % 128), 100};
            master->MidiIn(block % n, note, 3);
            master->DoProcess(n, inputs, outputs, 1, 1);
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(out[static_cast<size_t>(i)]) * out[static_cast<size_t>(i)];
            runtime.ServiceDspRingBuffers();
            int64_t when = 0;
            unsigned char bytes[4] = {};
            int32_t size = 0;
            while (master->getMidiOutputBuffer()->Read(when, bytes, 4, size))
            {
            }
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks, 2000), 0);
    EXPECT_TRUE(std::isfinite(energy));
    EXPECT_GT(energy, 0.0);
}

namespace
{
// A note source: a sine per voice while its key is held, else a static 0.
class PolySource : public ug_base
{
public:
    PolySource()
    {
        flags_ |= 0x100024;
        SetProcessFunction(&PolySource::process);
    }
    ug_base* Create() override { return new PolySource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    }
    void process(int start, int count)
    {
        const Voice* voice = parentContainer_->VoiceAt(voiceNumber_);
        const bool on = voice && voice->IsHeld();
        for (int i = 0; i < count; ++i)
            out_[start + i] = on ? 0.3f * std::sin(0.05f * static_cast<float>(sampleClock_ + i)) : 0.0f;
        if (on != streaming_)
            plugs_[0]->TransmitState(sampleClock_, on ? ST_STREAMING : ST_STATIC);
        streaming_ = on;
    }
    float* out_ = nullptr;
    bool streaming_ = true;
};

// Sums its input once for all voices (a linear input stops polyphony here).
class VoiceSum : public ug_base
{
public:
    VoiceSum() { SetProcessFunction(&VoiceSum::process); }
    ug_base* Create() override { return new VoiceSum(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &in_));
    }
    void process(int start, int count)
    {
        for (int i = 0; i < count; ++i)
            energy += static_cast<double>(in_[start + i]) * in_[start + i];
    }
    float* in_ = nullptr;
    double energy = 0.0;
};
} // namespace

TEST(BlockLoopAllocations, PlayingStealingAndRetiringVoicesAllocatesNothingAfterWarmUp)
{
    kvtest::GraphRig g(64);
    g.top->setVoiceCount(4);
    g.top->setVoiceReserveCount(1);
    auto* source = g.Add<PolySource>();
    auto* filter = static_cast<ug_filter_1pole*>(CModuleFactory::Instance()->GetById(L"1 Pole LP")->BuildSynthOb());
    g.top->AddUG(filter);
    filter->Setup(&g.master, nullptr);
    auto* sum = g.Add<VoiceSum>();
    source->plugs_[0]->plugFlags_ |= 0x1000;
    Connect(source, 0, filter, ug_filter_1pole::PN_SIGNAL);
    Connect(filter, ug_filter_1pole::PN_OUTPUT, sum, 0);
    g.BuildAndOpen();
    ASSERT_EQ(g.top->getPhysicalVoiceCount(), 5);

    int retired = 0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int64_t now = g.master.NextGlobalStartClock();
            // Six keys overlap on four voices: steals and held-back notes.
            if (block % 3 == 0)
                g.top->VoiceAllocationNoteOn(now, (block * 7) % 128, -1);
            if (block % 3 == 1 && block >= 18)
                g.top->VoiceAllocationNoteOff(now, ((block - 19) * 7) % 128);
            g.Run(64);
            for (int v = 0; v < g.top->getPhysicalVoiceCount(); ++v)
                retired += g.top->VoiceAt(v)->state_ == VS_OFF ? 1 : 0;
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    EXPECT_GT(retired, 0);
    EXPECT_GT(sum->energy, 0.0);
    EXPECT_TRUE(std::isfinite(sum->energy));
}

TEST(BlockLoopAllocations, ParameterAutomationFromTheHostAndMidiRunsWithoutAllocatingAfterWarmUp)
{
    RegisterRealtimeSink();
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\" Automation=\"33554439\"/>"
        "<P DataType=\"24\" Handle=\"101\" Index=\"1\" RangeMaximum=\"100\" Automation=\"50331648\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    ASSERT_NE(sink, nullptr);
    IDspPatchManager* manager = master->TopContainer()->get_patch_manager();
    ASSERT_NE(manager, nullptr);

    auto* level = dynamic_cast<DspPatchManager*>(manager)->GetParameter(100);
    ASSERT_NE(level, nullptr);
    // Editor values as they arrive in "ppc" records, some no value at all.
    std::vector<std::string> records;
    for (float v : {2.5f, 40.0f, -1.0f, std::nanf(""), 7.0f})
    {
        std::string payload(5, '\0');
        payload.append(reinterpret_cast<const char*>(&v), sizeof(v));
        records.push_back(payload);
    }

    std::vector<float> scratch(512);
    float* channel = scratch.data();
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const std::string& record = records[static_cast<size_t>(block) % records.size()];
            StagingMemoryBufferInputStream in(record.data(), static_cast<int>(record.size()));
            level->OnUiMsg(QueMessageId::ppc, in);
            master->setParameterNormalizedDsp(block % 64, 0, static_cast<float>(block % 100) / 100.0f);
            // MIDI as the patch automator hands it to the patch manager.
            const unsigned char cc[3] = {0xB0, 7, static_cast<unsigned char>(block % 128)};
            manager->OnMidi(nullptr, master->SampleClock() + 3, cc, 3, false);
            const unsigned char rpn[9] = {0xB0, 101, 0, 0xB0, 100, 0, 0xB0, 6, static_cast<unsigned char>(block % 128)};
            for (int m = 0; m < 3; ++m)
                manager->OnMidi(nullptr, master->SampleClock() + 5, rpn + 3 * m, 3, false);
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    // Host automation and controller 7 both move the value.
    EXPECT_GT(sink->pinChanges, 6000);
}

TEST(BlockLoopAllocations, PlayingTheDemoInstrumentFromHostMidiAllocatesNothingAfterWarmUp)
{
    std::ifstream file(KV_DEMO_SYNTH_DOCUMENT);
    std::stringstream text;
    text << file.rdbuf();
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(48000, 512, text.str().c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_EQ(master->getNumOutputs(), 2);

    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    double energy = 0.0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int n = block % 3 == 0 ? 512 : (block % 3 == 1 ? 441 : 37);
            // Chords of up to ten keys overlap: voices start, are stolen,
            // wait, release and fall asleep again.
            const int key = 36 + (block * 7) % 48;
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(key), static_cast<unsigned char>(40 + block % 80)};
            const unsigned char off[3] = {0x80, static_cast<unsigned char>(36 + ((block - 10) * 7) % 48), 64};
            if (block % 2 == 0)
                master->MidiIn(block % n, on, 3);
            if (block % 2 == 0 && block >= 10)
                master->MidiIn((block * 3) % n, off, 3);
            if (block % 97 == 0)
                master->setParameterNormalizedDsp(0, 1 + block % 5, static_cast<float>(block % 10) / 10.0f);
            master->DoProcess(n, nullptr, outputs, 0, 2);
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(left[static_cast<size_t>(i)]) * left[static_cast<size_t>(i)];
            runtime.ServiceDspRingBuffers();
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    EXPECT_GT(energy, 1.0);
    EXPECT_TRUE(std::isfinite(energy));
}

namespace
{
// Runs a document for 300 blocks of warm-up and 3000 counted blocks, with
// the MIDI that `midi(block, n, master)` sends before each block.
template <class Midi>
long CountBlockLoopAllocations(const std::string& document, Midi midi, double& energy)
{
    SynthRuntime runtime;
    EXPECT_TRUE(runtime.initialize(48000, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    energy = 0.0;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const int n = block % 3 == 0 ? 512 : (block % 3 == 1 ? 441 : 37);
            midi(block, n, master);
            master->DoProcess(n, nullptr, outputs, 0, 2);
            for (int i = 0; i < n; ++i)
                energy += static_cast<double>(left[static_cast<size_t>(i)]) * left[static_cast<size_t>(i)] +
                          static_cast<double>(right[static_cast<size_t>(i)]) * right[static_cast<size_t>(i)];
            runtime.ServiceDspRingBuffers();
        }
    };
    return AllocationsAfterWarmUp(runBlocks);
}

std::string ReadDocument(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
} // namespace

TEST(BlockLoopAllocations, DrumVoicesLargeChordsAndTheHoldPedalAllocateNothingAfterWarmUp)
{
    // Drums wake and retire their own voices.
    double energy = 0.0;
    const long drums = CountBlockLoopAllocations(
        ReadDocument(std::string(KV_TEST_DATA_DIR) + "/patches/drum_kit.dsp.kv.xml"),
        [](int block, int n, KvAudioMaster* master) {
            const unsigned char key = block % 4 < 2 ? 36 : 38;
            const unsigned char on[3] = {0x99, key, static_cast<unsigned char>(30 + block % 90)};
            const unsigned char off[3] = {0x89, key, 0};
            if (block % 7 == 0)
                master->MidiIn(block % n, on, 3);
            if (block % 7 == 3)
                master->MidiIn((block * 5) % n, off, 3);
        },
        energy);
    EXPECT_EQ(drums, 0);
    EXPECT_GT(energy, 1.0);

    // Twelve keys at one sample on six voices, with the pedal going up and
    // down; the oscillators take their pitch from the per-key parameter.
    std::string demo = ReadDocument(KV_DEMO_SYNTH_DOCUMENT);
    const std::string line = "<Line From=\"11\" FromPin=\"4\" To=\"12\" ToPin=\"0\"/>";
    demo.replace(demo.find(line), line.size(), "");
    const std::string waveform = "<Plug Idx=\"2\" Parameter=\"100\"/>";
    demo.replace(demo.find(waveform), waveform.size(), waveform + "<Plug Idx=\"0\" Parameter=\"110\"/>");
    const long chords = CountBlockLoopAllocations(
        demo,
        [](int block, int n, KvAudioMaster* master) {
            const int at = (block * 13) % n;
            for (int k = 0; k < 12; ++k)
            {
                const auto key = static_cast<unsigned char>(40 + (block + 5 * k) % 48);
                const unsigned char on[3] = {0x90, key, 100};
                const unsigned char off[3] = {0x80, key, 64};
                if (block % 9 == 0)
                    master->MidiIn(at, on, 3);
                if (block % 9 == 4)
                    master->MidiIn(at, off, 3);
            }
            const unsigned char pedal[3] = {0xB0, 64, static_cast<unsigned char>(block % 40 < 20 ? 127 : 0)};
            if (block % 20 == 0)
                master->MidiIn(0, pedal, 3);
        },
        energy);
    EXPECT_EQ(chords, 0);
    EXPECT_GT(energy, 1.0);
    EXPECT_TRUE(std::isfinite(energy));
}

namespace
{
// An editor record's payload: a text value for patch 0 of a text parameter.
std::vector<unsigned char> TextValueRecord(const std::wstring& text)
{
    std::vector<unsigned char> payload(1 + 4 + 4, 0);
    const int32_t bytes = static_cast<int32_t>(text.size() * 4);
    std::memcpy(payload.data() + 5, &bytes, 4);
    for (wchar_t c : text)
    {
        const int32_t unit = static_cast<int32_t>(c);
        const auto* p = reinterpret_cast<const unsigned char*>(&unit);
        payload.insert(payload.end(), p, p + 4);
    }
    return payload;
}
} // namespace

TEST(BlockLoopAllocations, MidiLearnLongTextsAndTimedSleepRunWithoutAllocatingAfterWarmUp)
{
    RegisterRealtimeSink();
    // The text parameter stores 600 characters: the graph's text room.
    const std::string stored(600, 's');
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\"/>"
        "<P DataType=\"20\" Handle=\"101\"><p>" + stored + "</p></P>"
        "<P DataType=\"22\" Handle=\"102\" Index=\"1\" RangeMaximum=\"10\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/>"
        "<Plug Idx=\"2\" Parameter=\"101\"/></Plugs></Module>"
        "<Module Type=\"Monostable\" Id=\"11\"><Plugs><Plug Idx=\"0\" Parameter=\"102\"/>"
        "<Plug Idx=\"1\" Default=\"1\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_EQ(master->TextRoom(), 600);
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    auto* pulse = dynamic_cast<ug_base*>(master->HandleToObject(11));
    IDspPatchManager* manager = master->TopContainer()->get_patch_manager();
    auto* learning = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(100));
    ASSERT_TRUE(sink && pulse && manager && learning);
    std::vector<float> scratch(512);
    float* channel = scratch.data();
    master->DoProcess(441, &channel, &channel, 0, 0);
    EXPECT_EQ(sink->text_, std::wstring(600, L's'));

    // Texts from empty to the room, and one of 1500 characters that is cut.
    std::vector<std::wstring> texts;
    for (size_t length : {0, 3, 255, 256, 257, 599, 600, 1500})
        texts.emplace_back(length, static_cast<wchar_t>(L'a' + length % 26));
    std::vector<std::vector<unsigned char>> records;
    for (const std::wstring& text : texts)
        records.push_back(TextValueRecord(text));
    const int32_t arm = -2;
    // SysEx templates from the editor, within the room and one beyond it.
    std::vector<std::vector<unsigned char>> templates;
    for (size_t length : {10, 0, 599, 2000})
    {
        // int32 character count, then the characters.
        std::vector<unsigned char> record = TextValueRecord(std::wstring(length, L'F'));
        record.erase(record.begin(), record.begin() + 5);
        const auto count = static_cast<int32_t>(length);
        std::memcpy(record.data(), &count, 4);
        templates.push_back(record);
    }

    int asleepInPulse = 0;
    int pulses = 0;
    int overdue = 0;
    int lastController = -1;
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            // A rising edge every 40 blocks starts a pulse of 0.1 s (10 blocks).
            if (block % 20 == 0)
                master->setParameterNormalizedDsp(block % 64, 1, block % 40 == 0 ? 1.0f : 0.0f);
            if (block % 7 == 0)
            {
                const auto& record = records[static_cast<size_t>(block / 7) % records.size()];
                WriteQueMessage(runtime.QueueFromGui(), 101, QueMessageId::ppc, record.data(),
                                static_cast<int32_t>(record.size()));
                runtime.QueueFromGui().Send();
            }
            if (block % 11 == 0)
            {
                const auto& record = templates[static_cast<size_t>(block / 11) % templates.size()];
                WriteQueMessage(runtime.QueueFromGui(), 100, QueMessageId::CCSX, record.data(),
                                static_cast<int32_t>(record.size()));
                runtime.QueueFromGui().Send();
            }
            // The editor arms learning (first after warm-up); the next
            // controller is learned.
            if (block % 50 == 0 && block >= 300)
            {
                WriteQueMessage(runtime.QueueFromGui(), 100, QueMessageId::CCID, &arm, 4);
                runtime.QueueFromGui().Send();
            }
            if (block % 50 == 10 && block >= 300)
            {
                lastController = 20 + (block / 50) % 40;
                const unsigned char cc[3] = {0xB0, static_cast<unsigned char>(lastController), 64};
                manager->OnMidi(nullptr, master->SampleClock() + 3, cc, 3, false);
            }
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
            const bool high = pulse->plugs_[2]->getValue() > 0.0f;
            pulses += high && block % 40 == 1 ? 1 : 0;
            overdue += high && block % 40 == 15 ? 1 : 0;
            asleepInPulse += high && !pulse->IsListed() ? 1 : 0;
        }
    };

    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);
    // Learning took the last controller sent after arming.
    EXPECT_EQ(learning->getAutomation(), 0x02000000 | lastController);
    // Every text reached the pin, cut only beyond the room; the cut is logged
    // off the audio thread.
    EXPECT_GT(sink->pinChanges, 400);
    for (size_t i : {size_t{5}, size_t{7}})
    {
        WriteQueMessage(runtime.QueueFromGui(), 101, QueMessageId::ppc, records[i].data(),
                        static_cast<int32_t>(records[i].size()));
        runtime.QueueFromGui().Send();
        for (int block = 0; block < 2; ++block)
        {
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
        EXPECT_EQ(sink->text_, texts[i].substr(0, 600));
    }
    // The last template sent (2000 characters) was refused: the one before stays.
    EXPECT_EQ(learning->getAutomationSysex(), std::wstring(599, L'F'));
    const size_t logged = master->BuildMessages().size();
    master->LogTextCuts_UI_THREAD();
    ASSERT_EQ(master->BuildMessages().size(), logged + 2);
    EXPECT_NE(master->BuildMessages()[logged].find("the longest had 1500"), std::string::npos);
    EXPECT_NE(master->BuildMessages()[logged + 1].find("SysEx template(s) longer than the room of 600 characters "
                                                       "refused on the audio thread (the longest had 2000)"),
              std::string::npos);
    // Pulses ran and ended on time (woken by their delayed call), and the
    // module slept through most of each.
    EXPECT_GT(pulses, 60);
    EXPECT_EQ(overdue, 0);
    EXPECT_GT(asleepInPulse, pulses * 5);
}

TEST(BlockLoopAllocations, OversampledSectionsPerVoiceSleepingAndWakingAllocateNothingAfterWarmUp)
{
    // The demo's amplifier in a section oversampled per voice, and the voice
    // sum through a 4x low-pass section that sleeps between the notes.
    std::string demo = ReadDocument(KV_DEMO_SYNTH_DOCUMENT);
    const auto replace = [&demo](const std::string& from, const std::string& to) {
        ASSERT_NE(demo.find(from), std::string::npos) << from;
        demo.replace(demo.find(from), from.size(), to);
    };
    const std::string vca = "<Module Type=\"VCA\" Id=\"14\">";
    const size_t at = demo.find(vca);
    const size_t end = demo.find("</Module>", at) + 9;
    const std::string pins = "<Plugs><Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"0\" Datatype=\"5\"/>"
                             "<Plug Direction=\"1\" Datatype=\"5\"/></Plugs>";
    demo.replace(at, end - at,
                 "<Module Type=\"Container\" Id=\"30\" ExpandInline=\"0\" Oversample=\"2\">" + pins +
                     "<Modules><Module Type=\"IO Mod\" Id=\"31\"><Plugs>"
                     "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"0\"/>"
                     "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"1\"/>"
                     "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"2\"/></Plugs></Module>" +
                     demo.substr(at, end - at) +
                     "</Modules><Lines><Line From=\"31\" FromPin=\"0\" To=\"14\" ToPin=\"0\"/>"
                     "<Line From=\"31\" FromPin=\"1\" To=\"14\" ToPin=\"1\"/>"
                     "<Line From=\"14\" FromPin=\"2\" To=\"31\" ToPin=\"2\"/></Lines></Module>");
    replace("<Line From=\"12\" FromPin=\"3\" To=\"14\" ToPin=\"0\"/>", "<Line From=\"12\" FromPin=\"3\" To=\"30\" ToPin=\"0\"/>");
    replace("<Line From=\"13\" FromPin=\"6\" To=\"14\" ToPin=\"1\"/>", "<Line From=\"13\" FromPin=\"6\" To=\"30\" ToPin=\"1\"/>");
    replace("<Line From=\"14\" FromPin=\"2\" To=\"20\" ToPin=\"0\"/>",
            "<Line From=\"30\" FromPin=\"2\" To=\"40\" ToPin=\"0\"/><Line From=\"40\" FromPin=\"1\" To=\"20\" ToPin=\"0\"/>");
    replace("<Module Type=\"VCA\" Id=\"20\">",
            "<Module Type=\"Container\" Id=\"40\" ExpandInline=\"0\" Oversample=\"4\"><Plugs>"
            "<Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
            "<Module Type=\"IO Mod\" Id=\"41\"><Plugs><Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"40\" "
            "TiedToPinIdx=\"0\"/><Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"40\" TiedToPinIdx=\"1\"/></Plugs></Module>"
            "<Module Type=\"1 Pole LP\" Id=\"42\"><Plugs><Plug Idx=\"1\" Default=\"9\"/></Plugs></Module></Modules>"
            "<Lines><Line From=\"41\" FromPin=\"0\" To=\"42\" ToPin=\"0\"/><Line From=\"42\" FromPin=\"2\" To=\"41\" "
            "ToPin=\"1\"/></Lines></Module><Module Type=\"VCA\" Id=\"20\">");
    double energy = 0.0;
    const long allocated = CountBlockLoopAllocations(
        demo,
        [](int block, int n, KvAudioMaster* master) {
            // Chords of four with long silences: voices retire, sections sleep and wake.
            for (int k = 0; k < 4; ++k)
            {
                const auto key = static_cast<unsigned char>(48 + (block / 400 + 3 * k) % 24);
                const unsigned char on[3] = {0x90, key, 100};
                const unsigned char off[3] = {0x80, key, 64};
                if (block % 400 == 0)
                    master->MidiIn(block % n, on, 3);
                if (block % 400 == 30)
                    master->MidiIn(block % n, off, 3);
            }
        },
        energy);
    EXPECT_EQ(allocated, 0);
    EXPECT_GT(energy, 1.0);
    EXPECT_TRUE(std::isfinite(energy));
}

TEST(BlockLoopAllocations, InstrumentWithExternalSdkModulesAllocatesNothingAfterWarmUp)
{
    // The demo instrument with a cloned SDK gain in every voice and an older
    // SDK inverter on its output, both from the external test bundle.
    Module_Info::SetKvmFolder(Utf8ToWstring(KV_SDK_MODULE_BUILD_DIR));
    CModuleFactory::Instance()->RegisterPluginsXml(
        ReadDocument(std::string(KV_TEST_DATA_DIR) + "/patches/sdk_modules.xml").c_str());
    double energy = 0.0;
    const long counted = CountBlockLoopAllocations(
        ReadDocument(std::string(KV_TEST_DATA_DIR) + "/sdk/bundle/KvSdkSynth/dsp.kv.xml"),
        [](int block, int n, KvAudioMaster* master) {
            const int key = 36 + (block * 7) % 48;
            const unsigned char on[3] = {0x90, static_cast<unsigned char>(key), 100};
            const unsigned char off[3] = {0x80, static_cast<unsigned char>(36 + ((block - 10) * 7) % 48), 64};
            if (block % 2 == 0)
                master->MidiIn(block % n, on, 3);
            if (block % 2 == 0 && block >= 10)
                master->MidiIn((block * 3) % n, off, 3);
            if (block % 97 == 0)
                master->setParameterNormalizedDsp(0, 5, static_cast<float>(block % 10) / 10.0f);
        },
        energy);
    EXPECT_EQ(counted, 0);
    EXPECT_GT(energy, 1.0);
    EXPECT_TRUE(std::isfinite(energy));
}

