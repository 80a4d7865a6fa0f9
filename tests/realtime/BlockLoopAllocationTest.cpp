// Runs a graph for many blocks with every heap allocation of the process
// counted (the global allocation functions are replaced in this binary) and
// checks that, after warm-up, the block loop allocates nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
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
#include "core/dsp_patch_parameter_base.h"
#include "core/QueMessage.h"
#include "core/UnitClass.h"
#include "engine/GraphRig.h"
#include "engine/TestGraph.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "core/dsp_patch_parameter_base.h"
#include "engine/DspPatchManager.h"
#include "engine/IDspPatchManager.h"
#include "engine/KvAudioMaster.h"
#include "engine/ug_container.h"
#include "engine/ug_oversampler.h"
#include "engine/MidiOutputBuffer.h"
#include "engine/SynthRuntime.h"
#include "modules/signal/ug_filter_1pole.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostParameterChanges.h"
#include <filesystem>
#include <unistd.h>

namespace
{
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
// Set on a thread that stands for the host's user-interface thread, whose
// allocations are its own business.
thread_local bool uncountedThread = false;

void* CountedAllocate(std::size_t size, std::size_t alignment)
{
    if (counting.load(std::memory_order_relaxed) && !uncountedThread)
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

// Out of line, so that the compiler does not pair it with the allocation.
__attribute__((noinline)) void Release(void* p) noexcept
{
    std::free(p);
}

// Runs `runBlocks(first, count)` for 300 blocks of warm-up, then `afterWarmUp()`,
// then `counted` blocks more with every allocation counted; the count.
template <class Run, class AfterWarmUp>
long AllocationsAfterWarmUp(Run& runBlocks, int counted, AfterWarmUp afterWarmUp)
{
    runBlocks(0, 300);
    afterWarmUp();
    allocations = 0;
    counting = true;
    runBlocks(300, counted);
    counting = false;
    return allocations.load();
}

template <class Run>
long AllocationsAfterWarmUp(Run& runBlocks, int counted = 3000)
{
    return AllocationsAfterWarmUp(runBlocks, counted, [] {});
}
} // namespace

// clang-format off
void* operator new(std::size_t n) { if (void* p = CountedAllocate(n, 0)) return p; throw std::bad_alloc(); }
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return CountedAllocate(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return CountedAllocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a)
{
    if (void* p = CountedAllocate(n, static_cast<std::size_t>(a))) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return CountedAllocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return CountedAllocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
// clang-format on

namespace
{
using kvtest::TestGraph;
using kvtest::TestSource;

// Sums what reaches it; allocates nothing while it runs.
class Sink : public ug_base
{
public:
    Sink() { SetProcessFunction(&Sink::process_sum); }
    ug_base* Create() override { return new Sink(); }

    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(&value_, L"Value", DR_IN, DT_FLOAT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&text_, L"Text", DR_IN, DT_TEXT, L"", L"", 0));
        pins.push_back(new InterfaceObject(&blob_, L"Blob", DR_IN, DT_BLOB, L"", L"", 0));
    }

    void onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/) override { ++pinChanges; }

    void process_sum(int start, int count)
    {
        for (int i = 0; i < count; ++i)
            sum += in_[start + i];
    }

    float* in_ = nullptr;
    float value_ = 0.0f;
    std::wstring text_;
    MpBlob blob_;
    double sum = 0.0;
    long pinChanges = 0;
};

ug_filter_1pole* AddFilter(TestGraph& g, const wchar_t* type, int sortOrder)
{
    auto* f = static_cast<ug_filter_1pole*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
    f->Setup(&g.master, nullptr);
    f->sortOrder_ = sortOrder;
    g.modules.emplace_back(f);
    return f;
}

void Connect(ug_base* from, int out, ug_base* to, int in)
{
    ug_base::connect(from->plugs_[out], to->plugs_[in]);
}
} // namespace

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
    static const bool registered = CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8));
    (void)registered;
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
    static const bool registered = CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8));
    (void)registered;
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

namespace
{
std::string PresetStateDocument(const std::vector<std::pair<int, std::string>>& values)
{
    std::string text = "<?xml version=\"1.0\" ?>\n<Parameters>\n";
    for (const auto& [id, value] : values)
        text += " <Param id=\"" + std::to_string(id) + "\" val=\"" + value + "\" />\n";
    return text + "</Parameters>\n";
}

// The value a preset state document gives a parameter, empty when none.
std::string ValueIn(const std::string& state, int id)
{
    const std::string key = "<Param id=\"" + std::to_string(id) + "\"";
    const size_t at = state.find(key);
    const size_t val = at == std::string::npos ? at : state.find("val=\"", at);
    if (val == std::string::npos)
        return {};
    return state.substr(val + 5, state.find('"', val + 5) - val - 5);
}
} // namespace

TEST(BlockLoopAllocations, PresetStatesSetAndGotWhileBlocksRunAllocateNothingOnTheAudioThread)
{
    static const bool registered = CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8));
    (void)registered;
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\"/>"
        "<P DataType=\"20\" Handle=\"101\"/>"
        "<P DataType=\"24\" Handle=\"102\" Index=\"1\" RangeMaximum=\"100\"/>"
        "<P DataType=\"21\" Handle=\"103\" MetaData=\"a,b,c=5\"/>"
        "<P DataType=\"23\" Handle=\"104\"/>"
        "<P DataType=\"28\" Handle=\"105\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/>"
        "<Plug Idx=\"2\" Parameter=\"101\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    ASSERT_NE(sink, nullptr);
    ASSERT_EQ(master->TextRoom(), 256);

    // Rounds of states: numbers in and out of range, texts up to the room
    // and beyond it (a saved state keeps those whole), refused enum values.
    struct Round
    {
        std::vector<std::pair<int, std::string>> in;
        std::vector<std::pair<int, std::string>> expected;
    };
    std::vector<Round> rounds;
    for (int r = 0; r < 8; ++r)
    {
        const std::string level = std::to_string(r) + ".5";
        const std::string text(static_cast<size_t>(r % 4 == 3 ? 1500 : 90 * r), static_cast<char>('a' + r));
        const std::string blob =
            Base64::encode(std::string(static_cast<size_t>(r % 4 == 3 ? 2000 : 40 * r), static_cast<char>(r)));
        const std::string enumValue = r % 3 == 0 ? "5" : (r % 3 == 1 ? "1" : "3");
        const std::string enumExpected = r % 3 == 0 ? "5" : "1";
        Round round;
        round.in = {{100, r == 7 ? "25" : level}, {101, text},           {102, std::to_string(50 * r)},
                    {103, enumValue},              {104, std::to_string(r % 2)}, {105, blob}};
        round.expected = {{100, r == 7 ? "10" : level}, {101, text}, {102, std::to_string(std::min(50 * r, 100))},
                          {103, enumExpected},          {104, std::to_string(r % 2)}, {105, blob}};
        rounds.push_back(round);
    }
    std::vector<std::string> states;
    for (const Round& round : rounds)
        states.push_back(PresetStateDocument(round.in));

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> scratch(512);
        float* channel = scratch.data();
        while (!stop.load())
        {
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    uncountedThread = true;
    const auto exchange = [&](int rounds_) {
        for (int i = 0; i < rounds_; ++i)
        {
            const Round& round = rounds[static_cast<size_t>(i) % rounds.size()];
            master->setPresetState_UI_THREAD(states[static_cast<size_t>(i) % states.size()], true);
            std::string state;
            master->getPresetState_UI_THREAD(state, true);
            // The read after the write gives what was set, brought into range.
            for (const auto& [id, value] : round.expected)
                ASSERT_EQ(ValueIn(state, id), value) << "parameter " << id << ", round " << i;
        }
    };
    exchange(8);
    allocations = 0;
    counting = true;
    const long blocksBefore = blocks.load();
    exchange(40);
    // The values reached the module too: the level and the text cut to the room.
    master->setPresetState_UI_THREAD(states[3], true);
    std::string last;
    master->getPresetState_UI_THREAD(last, true);
    counting = false;
    stop = true;
    audio.join();
    uncountedThread = false;

    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(blocks.load() - blocksBefore, 40);
    EXPECT_FLOAT_EQ(sink->value_, 3.5f);
    EXPECT_EQ(sink->text_, std::wstring(256, L'd'));
    EXPECT_EQ(ValueIn(last, 101), std::string(1500, 'd'));
    master->LogTextCuts_UI_THREAD();
    ASSERT_FALSE(master->BuildMessages().empty());
    EXPECT_NE(master->BuildMessages().back().find("the longest had 1500"), std::string::npos);
}

namespace
{
// Sends a blob and a text from its outputs when told to.
class BlobSource : public ug_base
{
public:
    ug_base* Create() override { return new BlobSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&blob_, L"Blob", DR_OUT, DT_BLOB, L"", L"", 0));
        pins.push_back(new InterfaceObject(&text_, L"Text", DR_OUT, DT_TEXT, L"", L"", 0));
    }
    void Send(const std::string& bytes, const std::wstring& text)
    {
        blob_.setValueRaw(static_cast<int>(bytes.size()), bytes.data());
        text_.assign(text);
        SendPinsCurrentValue(sampleClock_, plugs_[0]);
        SendPinsCurrentValue(sampleClock_, plugs_[1]);
    }
    MpBlob blob_;
    std::wstring text_;
};

// An editor record's payload: a blob value for patch 0 of a blob parameter.
std::vector<unsigned char> BlobValueRecord(const std::string& bytes)
{
    std::vector<unsigned char> payload(1 + 4 + 4, 0);
    const auto size = static_cast<int32_t>(bytes.size());
    std::memcpy(payload.data() + 5, &size, 4);
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    return payload;
}
} // namespace

TEST(BlockLoopAllocations, BlobValuesFromTheEditorAndFromModulesAllocateNothingAfterWarmUp)
{
    static const bool registered[] = {
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8)),
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Realtime Blob Source", 0, 0, nullptr, &UnitClassOf<BlobSource>::value, 8))};
    (void)registered;
    // Parameter 105 feeds the sink's blob pin; the source's outputs are
    // watched into 106 and 107.
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"28\" Handle=\"105\"/><P DataType=\"28\" Handle=\"106\"/>"
        "<P DataType=\"20\" Handle=\"107\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"3\" Parameter=\"105\"/></Plugs></Module>"
        "<Module Type=\"KV Realtime Blob Source\" Id=\"11\"><Plugs><Plug Idx=\"0\" Parameter=\"106\"/>"
        "<Plug Idx=\"1\" Parameter=\"107\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_EQ(master->BlobRoom(), 1024);
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    auto* source = dynamic_cast<BlobSource*>(master->HandleToObject(11));
    auto* watched = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(106));
    ASSERT_TRUE(sink && source && watched);
    // The module's own values: its business to keep them from allocating.
    source->blob_.reserve(4096);
    source->text_.reserve(1500);

    // Blobs from empty to the room, and larger ones that are refused.
    std::vector<std::string> blobs;
    for (size_t size : {0, 3, 100, 1000, 1024, 3000, 1025})
        blobs.emplace_back(size, static_cast<char>(size % 251));
    std::vector<std::vector<unsigned char>> records;
    for (const std::string& blob : blobs)
        records.push_back(BlobValueRecord(blob));
    // Texts up to one longer than the event pool's largest payload, which
    // reaches the watched parameter cut to the room.
    std::vector<std::wstring> texts;
    for (size_t length : {0, 5, 200, 1500})
        texts.emplace_back(length, L'w');

    std::vector<float> scratch(512);
    float* channel = scratch.data();
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const auto& record = records[static_cast<size_t>(block) % records.size()];
            WriteQueMessage(runtime.QueueFromGui(), 105, QueMessageId::ppc, record.data(),
                            static_cast<int32_t>(record.size()));
            runtime.QueueFromGui().Send();
            source->Send(blobs[static_cast<size_t>(block / 3) % blobs.size()],
                         texts[static_cast<size_t>(block) % texts.size()]);
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
    };
    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);

    // Values within the room arrived whole; larger ones were refused, the
    // value before them staying, and logged off the audio thread.
    for (size_t i : {size_t{4}, size_t{5}})
    {
        WriteQueMessage(runtime.QueueFromGui(), 105, QueMessageId::ppc, records[i].data(),
                        static_cast<int32_t>(records[i].size()));
        runtime.QueueFromGui().Send();
        source->Send(blobs[i], texts[3]);
        for (int block = 0; block < 30; ++block)
        {
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
        EXPECT_TRUE(sink->blob_.compare(blobs[4].data(), 1024));
        int size = 0;
        const void* value = watched->SerialiseForEvent(0, size);
        EXPECT_EQ(std::string(static_cast<const char*>(value), static_cast<size_t>(size)), blobs[4]);
        auto* text = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(107));
        text->SerialiseForEvent(0, size);
        EXPECT_EQ(size, 256 * 4);
    }
    master->LogTextCuts_UI_THREAD();
    ASSERT_FALSE(master->BuildMessages().empty());
    EXPECT_NE(master->BuildMessages().back().find("blob value(s) larger than the room of 1024 bytes refused"),
              std::string::npos);
    EXPECT_NE(master->BuildMessages().back().find("the largest had 3000"), std::string::npos);
}

TEST(BlockLoopAllocations, PolyphonicTextValuesFromTheEditorAllocateNothingAfterWarmUp)
{
    // A text per key in each of 128 patches: the parameter's rooms share a
    // bound of 4 MiB, 64 characters each.
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"20\" Handle=\"108\" isPolyphonic=\"1\" VoiceCount=\"128\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"/></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    auto* perKey = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(108));
    ASSERT_NE(perKey, nullptr);
    ASSERT_EQ(perKey->VoiceEntryCount(), 128);
    ASSERT_EQ(perKey->PatchCount(), 128);

    // Records for key and patch: flag, patch, key, byte count, characters;
    // written into room made before counting.
    std::vector<unsigned char> payload;
    payload.reserve(2048);
    const auto record = [&payload](int patch, int key, const std::wstring& text) -> const std::vector<unsigned char>& {
        const int32_t fields[4] = {patch, key, static_cast<int32_t>(text.size() * 4), 0};
        payload.assign(1 + 12 + text.size() * 4, 0);
        std::memcpy(payload.data() + 1, fields, 12);
        for (size_t i = 0; i < text.size(); ++i)
        {
            const auto unit = static_cast<int32_t>(text[i]);
            std::memcpy(payload.data() + 13 + 4 * i, &unit, 4);
        }
        return payload;
    };
    std::vector<std::wstring> texts;
    for (size_t length : {0, 5, 63, 64, 65, 200})
        texts.emplace_back(length, static_cast<wchar_t>(L'a' + length % 26));
    std::vector<float> scratch(512);
    float* channel = scratch.data();
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            for (int n = 0; n < 4; ++n)
            {
                const int key = (block * 4 + n) % 128;
                const auto& bytes = record((block + n) % 128, key, texts[static_cast<size_t>(block + key) % texts.size()]);
                WriteQueMessage(runtime.QueueFromGui(), 108, QueMessageId::ppc, bytes.data(),
                                static_cast<int32_t>(bytes.size()));
            }
            runtime.QueueFromGui().Send();
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
    };
    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);

    // Each key kept its last text, cut to the room.
    const int last = 300 + 3000 - 1;
    for (int n = 0; n < 4; ++n)
    {
        const int key = (last * 4 + n) % 128;
        const std::wstring& sent = texts[static_cast<size_t>(last + key) % texts.size()];
        PatchStorageBase* entry = perKey->Storage(key);
        const int patch = (last + n) % 128;
        const std::wstring kept(static_cast<const wchar_t*>(entry->GetValue(patch)),
                                static_cast<size_t>(entry->GetValueSize(patch)) / sizeof(wchar_t));
        EXPECT_EQ(kept, sent.substr(0, 64)) << "key " << key;
    }
    master->LogTextCuts_UI_THREAD();
    ASSERT_FALSE(master->BuildMessages().empty());
    EXPECT_NE(master->BuildMessages().back().find("the longest had 200"), std::string::npos);
}

TEST(BlockLoopAllocations, AConnectedProcessorsBlocksAllocateNothingWhileTheEngineReportsValues)
{
    // The editor tests' instrument, whose "Level" follows the hold pedal: the
    // engine reports the changed value to the controller after every press.
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("kv-realtime-" + std::to_string(getpid()));
    const fs::path bundle = folder / "KvGuiTest.vst3";
    fs::create_directories(bundle / "Contents" / "Resources");
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    for (const char* name : {"factory.kv.xml", "dsp.kv.xml", "parameters.kv.xml"})
        fs::copy_file(fs::path(KV_TEST_DATA_DIR) / "gui" / "bundles" / "KvGuiTest" / name,
                      bundle / "Contents" / "Resources" / name, fs::copy_options::overwrite_existing);
    {
        using namespace Steinberg;
        using namespace Steinberg::Vst;
        MyVstPluginFactory factory(
            BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KvGuiTest.so").string()));
        factory.initialize();
        KvHostApplication host;
        IPtr<ADelayProcessor> processor = owned(new ADelayProcessor(&factory));
        IPtr<ADelayController> controller = owned(new ADelayController(&factory));
        processor->setInstrument(true);
        ASSERT_EQ(processor->initialize(&host), kResultOk);
        ASSERT_EQ(controller->initialize(&host), kResultOk);
        // Joined directly, as hosts join them.
        processor->connect(controller);
        controller->connect(processor);
        ProcessSetup setup{kRealtime, kSample32, 256, 48000.0};
        processor->setupProcessing(setup);
        processor->setActive(true);
        processor->setProcessing(true);

        std::vector<float> left(256), right(256);
        float* channels[2] = {left.data(), right.data()};
        AudioBusBuffers bus{};
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
        HostParameterChanges changes;
        ProcessData data;
        data.numSamples = 256;
        data.symbolicSampleSize = kSample32;
        data.outputs = &bus;
        data.numOutputs = 1;
        data.inputParameterChanges = &changes;

        // Only the blocks are counted; the controller polls between them, on
        // what stands for the user-interface thread.
        long inBlocks = 0;
        int heard = 0;
        double last = controller->getParamNormalized(0);
        for (int block = 0; block < 3300; ++block)
        {
            if (block % 20 == 0)
                changes.add(10064, 0, (block / 20) % 2 ? 1.0 : 0.0);
            const long before = allocations.load();
            counting = block >= 300;
            processor->process(data);
            counting = false;
            inBlocks += allocations.load() - before;
            changes.clear();
            if (block % 5 == 4)
            {
                controller->PollProcessor();
                heard += controller->getParamNormalized(0) != last;
                last = controller->getParamNormalized(0);
            }
        }
        EXPECT_EQ(inBlocks, 0);
        // Every press and release reached the controller.
        EXPECT_GT(heard, 150);

        processor->setProcessing(false);
        processor->setActive(false);
        controller->disconnect(processor);
        processor->disconnect(controller);
        controller->terminate();
        processor->terminate();
    }
    fs::remove_all(folder);
}
