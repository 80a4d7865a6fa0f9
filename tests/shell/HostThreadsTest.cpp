// The demo instrument driven by a host that spreads its calls over threads:
// processing switched on and off on the audio thread while the state is
// saved and restored on the user-interface thread, and a processor state
// read on a thread of the host's own. And a patch whose engine reports to
// the editor all the time, called by the host from a worker thread while
// the editor is open.

#include <cstring>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BlockEventList.h"
#include "DemoSynthRig.h"
#include "core/CModuleFactory.h"
#include "engine/runtime/KvAudioMaster.h"
#include "ShellUnitSupport.h"
#include "editor/KVVSTGUIEditor.h"
#include "editor/toolkit/CFrame.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/ShellMessageIds.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tests/ThreadWait.h"

using namespace demo_synth_rig;
using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// The attack (handle 101, host id 1) as a processor state.
std::vector<char> AttackState(int attack)
{
    return Chunk("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"101\" index=\"1\" val=\"" +
                 std::to_string(attack) + "\" />\n</Parameters>\n");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A component handler that notes the thread of every restart.
class ThreadRecordingHandler : public HostComponentHandler
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        restarts.emplace_back(std::this_thread::get_id(), flags);
        return kResultOk;
    }
    std::vector<std::pair<std::thread::id, int32>> Restarts()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return restarts;
    }
    std::mutex mutex;
    std::vector<std::pair<std::thread::id, int32>> restarts;
};
#pragma GCC diagnostic pop

// An effect of one module from the external test bundle, "KV Test SDK Gain"
// (handle 10): it tells its editor part of each MIDI message and of each
// change of its gain, parameter 200 (host id 0, two programs: 1 and 5).
const char* kGainModuleXml = R"(<PluginList>
  <Plugin id="KV Test SDK Gain" name="SDK Gain" category="Tests" imbeddedFilename="KvTestModules.kvm">
    <Audio>
      <Pin name="Signal In" datatype="float" rate="audio"/>
      <Pin name="Signal Out" datatype="float" rate="audio" direction="out"/>
      <Pin name="Gain" datatype="float" default="1"/>
      <Pin name="MIDI In" datatype="midi"/>
    </Audio>
  </Plugin>
</PluginList>)";
const char* kReportingGraph = R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
  <PatchManager><Parameters>
    <Parameter DataType="22" Index="0" Handle="200" PatchCount="2" RangeMinimum="0" RangeMaximum="10"><p>1 5</p></Parameter>
  </Parameters></PatchManager>
  <Plugs>
    <Plug Direction="0" Datatype="5"/>
    <Plug Direction="1" Datatype="5"/>
    <Plug Direction="0" Datatype="2"/>
  </Plugs>
  <Modules>
    <Module Type="IO Mod" Id="3"><Plugs>
      <Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
      <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="2"/>
    </Plugs></Module>
    <Module Type="KV Test SDK Gain" Id="10"><Plugs><Plug Idx="2" Parameter="200"/></Plugs></Module>
  </Modules>
  <Lines>
    <Line From="3" FromPin="0" To="10" ToPin="0"/>
    <Line From="10" FromPin="1" To="3" ToPin="1"/>
    <Line From="3" FromPin="2" To="10" ToPin="3"/>
  </Lines>
</Module></Modules></Container></DSP>)";

const char* kReportingParameters = R"(<Document><C><Parameters>
  <Parameter Name="Gain" Handle="200" Index="0" RangeMinimum="0" RangeMaximum="10"><patch-list>1 5</patch-list></Parameter>
</Parameters></C></Document>)";
} // namespace

TEST(HostThreads, ProcessingSwitchedOnTheAudioThreadLeavesEverySavedStateWhole)
{
    DemoSynthRig rig(128, "threads");
    ADelayProcessor* processor = rig.processor.get();
    // The audio thread switches processing on and off around a few blocks,
    // as hosts may, while the user-interface thread sets and saves states.
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load())
        {
            processor->setProcessing(true);
            for (int block = 0; block < 4; ++block)
                processor->process(rig.data);
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
}

TEST(HostThreads, AStateTakenWhileAnotherThreadRunsBlocksIsTakenBetweenThemAndTheAudioGoesOn)
{
    DemoSynthRig rig(128, "between");
    ADelayProcessor* processor = rig.processor.get();
    // A held sine: every block sounds once the attack is under way.
    Event noteOn{};
    noteOn.type = Event::kNoteOnEvent;
    noteOn.noteOn.pitch = 69;
    noteOn.noteOn.velocity = 1.0f;
    BlockEventList notes({noteOn});
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> silentBlocks{0};
    std::thread audio([&] {
        rig.data.inputEvents = &notes;
        processor->process(rig.data);
        rig.data.inputEvents = nullptr;
        ++blocks;
        while (!stop.load())
        {
            processor->process(rig.data);
            const bool silent = std::all_of(rig.left.begin(), rig.left.end(), [](float v) { return v == 0.0f; });
            silentBlocks += silent ? 1 : 0;
            ++blocks;
        }
    });
    ASSERT_TRUE(kv_test::WaitUntil([&] { return blocks.load() > 0; }));
    for (int i = 0; i < 20; ++i)
    {
        HostMemoryStream in(AttackState(i % 9));
        ASSERT_EQ(processor->setState(&in), kResultOk);
        HostMemoryStream out;
        ASSERT_EQ(processor->getState(&out), kResultOk);
        const std::string saved(out.bytes().begin() + 4, out.bytes().end());
        EXPECT_NE(saved.find("val=\"" + std::to_string(i % 9) + "\""), std::string::npos) << i << saved;
    }
    // The audio goes on; had the engine been held off the blocks for the
    // state, they would have come out silent.
    const int seen = blocks.load();
    EXPECT_TRUE(kv_test::WaitUntil([&] { return blocks.load() > seen + 20; }));
    stop = true;
    audio.join();
    EXPECT_EQ(silentBlocks.load(), 0);
}

namespace
{
// Key 69 struck or let go at `offset`.
Event Note(bool on, int32 offset = 0)
{
    Event event{};
    event.type = on ? Event::kNoteOnEvent : Event::kNoteOffEvent;
    event.sampleOffset = offset;
    if (on)
        event.noteOn = {0, 69, 0.0f, 1.0f, 0, -1};
    else
        event.noteOff.pitch = 69;
    return event;
}

// The samples of blocks of `rig` with key 69 struck in the first.
std::vector<float> Played(DemoSynthRig& rig, int blocks)
{
    BlockEventList notes({Note(true)});
    std::vector<float> out;
    for (int b = 0; b < blocks; ++b)
    {
        rig.data.inputEvents = b == 0 ? &notes : nullptr;
        rig.processor->process(rig.data);
        out.insert(out.end(), rig.left.begin(), rig.left.end());
    }
    rig.data.inputEvents = nullptr;
    return out;
}

// A thread of a host's pool: runs each job it is given, one at a time.
class Worker
{
public:
    ~Worker()
    {
        Start(nullptr);
        thread_.join();
    }
    void Start(std::function<void()> job)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        busy_ = true;
        wake_.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !busy_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool busy_ = false;
    std::thread thread_{[this] {
        for (std::unique_lock<std::mutex> lock(mutex_); wake_.wait(lock, [this] { return busy_; }), job_;)
        {
            lock.unlock();
            job_();
            lock.lock();
            busy_ = false;
            wake_.notify_all();
        }
    }};
};
} // namespace

TEST(HostThreads, ReactivationOnOneThreadWhileAnotherSetsAndReadsStatesLeavesEveryStateWholeAndTheLastOnePlays)
{
    // The program synth (its Tone, handle 101 and id 1, stands where the
    // demo's attack does).
    const std::string programSynth = KV_TEST_DATA_DIR "/patches/KvProgramSynth/dsp.kv.xml";
    DemoSynthRig rig(128, "reactivation", programSynth);
    ADelayProcessor* processor = rig.processor.get();
    processor->process(rig.data);
    // As a controller with a store of its own passes a value on.
    const auto tell = [](DemoSynthRig& to, ParamID id, double value) {
        std::string bytes(sizeof(uint32_t) + sizeof(double), '\0');
        const auto host = static_cast<uint32_t>(id);
        std::memcpy(bytes.data(), &host, sizeof(host));
        std::memcpy(bytes.data() + sizeof(host), &value, sizeof(value));
        return to.processor->notify(
            BinaryMessage(to.host, bytes, ShellMessageIds::kHostValues, ShellMessageIds::kHostValuesAttribute));
    };
    // The host deactivates and activates again, each time rebuilding the
    // engine, while this thread sets and reads states, with a program chosen
    // on the controller before each state and a value after it that no
    // block brings (the state set and the state read take them in, and send
    // what the program moved).
    std::atomic<bool> stop{false};
    std::atomic<int> reactivations{0};
    std::thread host([&] {
        for (; !stop.load(); ++reactivations)
        {
            processor->setProcessing(false);
            processor->setActive(false);
            processor->setActive(true);
            processor->setProcessing(true);
        }
    });
    int attack = 0;
    double program = 0.0;
    for (int i = 0; i < 300 || reactivations.load() < 20; ++i)
    {
        attack = i % 9;
        program = 0.5 * (i % 2);
        ASSERT_EQ(tell(rig, 10130, program), kResultOk);
        HostMemoryStream in(AttackState(attack));
        ASSERT_EQ(processor->setState(&in), kResultOk);
        ASSERT_EQ(tell(rig, 2, 0.5), kResultOk);
        HostMemoryStream out;
        ASSERT_EQ(processor->getState(&out), kResultOk);
        const std::string saved(out.bytes().begin() + 4, out.bytes().end());
        ASSERT_EQ(saved.substr(saved.size() - 14), "</Parameters>\n") << saved;
        ASSERT_NE(saved.find("<Param id=\"101\" index=\"1\" val=\"" + std::to_string(attack) + "\""), std::string::npos)
            << i << saved;
    }
    stop = true;
    host.join();
    // The last state set, and the value after it, is what plays: as in an
    // instance given them alone.
    DemoSynthRig fresh(128, "fresh", programSynth);
    HostParameterChanges decayChange;
    decayChange.add(2, 0, 0.5);
    ASSERT_EQ(tell(fresh, 10130, program), kResultOk);
    HostMemoryStream last(AttackState(attack));
    ASSERT_EQ(fresh.processor->setState(&last), kResultOk);
    fresh.data.inputParameterChanges = &decayChange;
    fresh.processor->process(fresh.data);
    fresh.data.inputParameterChanges = nullptr;
    processor->process(rig.data);
    EXPECT_EQ(Played(rig, 40), Played(fresh, 40));
}

TEST(HostThreads, BlocksOnTwoWorkersInTurnWithStatesTakenOnTheLastOnesThreadLoseNoNoteOff)
{
    DemoSynthRig rig(128, "workers");
    BlockEventList ons({Note(true)});
    BlockEventList offs({Note(false, 64)});
    Worker workers[2];
    int turn = 0;
    // One block on the next worker in turn; its left channel's peak.
    const auto block = [&](IEventList* events) {
        float peak = 0.0f;
        Worker& worker = workers[turn++ % 2];
        worker.Start([&] {
            rig.data.inputEvents = events;
            rig.processor->process(rig.data);
            rig.data.inputEvents = nullptr;
            for (float v : rig.left)
                peak = std::max(peak, std::fabs(v));
        });
        worker.Wait();
        return peak;
    };
    for (int round = 0; round < 60; ++round)
    {
        SCOPED_TRACE(round);
        block(&ons);
        for (int b = 0; b < 20; ++b)
            block(nullptr);
        // The host takes states on the worker that ran the last block, while
        // the other plays the block with the note-off, and more until then.
        Worker& last = workers[(turn - 1) % 2];
        Worker& next = workers[turn++ % 2];
        std::atomic<bool> taking{false}, taken{false};
        last.Start([&] {
            taking = true;
            for (int k = 0; k < 3; ++k)
            {
                HostMemoryStream out;
                rig.processor->getState(&out);
            }
            taken = true;
        });
        next.Start([&] {
            while (!taking.load())
            {
            }
            rig.data.inputEvents = &offs;
            rig.processor->process(rig.data);
            rig.data.inputEvents = nullptr;
            while (!taken.load())
                rig.processor->process(rig.data);
        });
        last.Wait();
        next.Wait();
        // Released (about 79 ms) well within a quarter second: then silent.
        for (int b = 0; b < 90; ++b)
            block(nullptr);
        ASSERT_EQ(block(nullptr), 0.0f) << "the note still sounds";
    }
}

namespace
{
bool Silent(const std::vector<float>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](float v) { return v == 0.0f; });
}
} // namespace

TEST(HostThreads, BlocksBesideStateCallsOnAnotherThreadAreNeverSilent)
{
    // An offline host renders a held note while another thread takes and
    // gives back states back to back: each block waits for a state call
    // that holds the engine, and plays.
    DemoSynthRig rig(128, "beside");
    ADelayProcessor* processor = rig.processor.get();
    BlockEventList strike({Note(true)});
    rig.data.inputEvents = &strike;
    processor->process(rig.data);
    rig.data.inputEvents = nullptr;
    std::atomic<bool> stop{false};
    std::thread host([&] {
        while (!stop.load())
        {
            HostMemoryStream out;
            EXPECT_EQ(processor->getState(&out), kResultOk);
            HostMemoryStream in(out.bytes());
            EXPECT_EQ(processor->setState(&in), kResultOk);
        }
    });
    for (int block = 0; block < 400; ++block)
    {
        rig.bus.silenceFlags = 0;
        processor->process(rig.data);
        ASSERT_FALSE(Silent(rig.left)) << "block " << block;
        ASSERT_EQ(rig.bus.silenceFlags, 0u) << "block " << block;
    }
    stop = true;
    host.join();
}

TEST(HostThreads, ARestartAskedForOffTheUserInterfaceThreadReachesTheHostOnIt)
{
    DemoSynthRig rig(128, "restart");
    ThreadRecordingHandler handler;
    IPtr<ADelayController> controller = owned(new ADelayController(&rig.factory));
    ASSERT_EQ(controller->initialize(&rig.host), kResultOk);
    controller->setComponentHandler(&handler);
    const std::thread::id ui = std::this_thread::get_id();

    // A state read on the UI thread tells the host at once.
    HostMemoryStream first(AttackState(2));
    ASSERT_EQ(controller->setComponentState(&first), kResultOk);
    ASSERT_EQ(handler.Restarts().size(), 1u);

    // Read on a thread of the host's own: the host hears nothing there ...
    std::thread([&] {
        HostMemoryStream second(AttackState(7));
        EXPECT_EQ(controller->setComponentState(&second), kResultOk);
    }).join();
    EXPECT_EQ(handler.Restarts().size(), 1u);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.7);

    // ... but once, on the UI thread, when the controller next serves it
    // (the editor's timer, a view being made, a state read there).
    IPtr<IPlugView> view = owned(controller->createView("editor"));
    ASSERT_TRUE(view);
    IPtr<IPlugView> again = owned(controller->createView("editor"));
    const auto restarts = handler.Restarts();
    ASSERT_EQ(restarts.size(), 2u);
    for (const auto& [thread, flags] : restarts)
    {
        EXPECT_EQ(thread, ui);
        EXPECT_EQ(flags, kParamValuesChanged);
    }
    view = nullptr;
    again = nullptr;
    controller->terminate();
}

TEST(HostThreads, CallsOnAWorkerThreadReachTheEditorsAutomatorsAndModulesOnlyOnTheUserInterfaceThread)
{
    // A bundle of the reporting effect, with the external module bundle in its PlugIns.
    ScratchFolder scratch;
    const BundleInfo bundle =
        MakeBundle(scratch, "Reporting",
                   {{"factory.kv.xml", FactoryXml(std::string("ProcessorId=\"") + kProcessorId + "\"")},
                    {"dsp.kv.xml", std::string(kGainModuleXml) + kReportingGraph},
                    {"parameters.kv.xml", kReportingParameters},
                    {"gui.kv.xml", "<Window><Canvas Width=\"100\" Height=\"40\"/></Window>"}});
    const auto plugIns = scratch.path() / "Reporting.vst3" / "Contents" / "PlugIns";
    std::filesystem::create_directories(plugIns);
    std::filesystem::copy_file(std::filesystem::path(KV_SDK_SYNTH_BUNDLE) / "Contents" / "PlugIns" / "KvTestModules.kvm",
                               plugIns / "KvTestModules.kvm");
    // The engine reads the module list of the first document a process
    // builds; this process built others first.
    CModuleFactory::Instance()->RegisterPluginsXml(kGainModuleXml);
    MyVstPluginFactory factory(bundle);
    KvHostApplication host;
    ThreadRecordingHandler handler;
    IPtr<ADelayProcessor> processor = owned(new ADelayProcessor(&factory));
    IPtr<ADelayController> controller = owned(new ADelayController(&factory));
    ASSERT_EQ(processor->initialize(&host), kResultOk);
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    controller->setComponentHandler(&handler);
    processor->connect(controller);
    controller->connect(processor);
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    processor->setupProcessing(setup);
    processor->setActive(true);
    ASSERT_NE(processor->Runtime().AudioMaster()->HandleToObject(10), nullptr);

    // The editor, open offscreen on this (the user-interface) thread, with
    // an automator and a module that stands for the gain's editor part.
    const std::thread::id ui = std::this_thread::get_id();
    IPtr<IPlugView> view = owned(controller->createView("editor"));
    auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
    ASSERT_TRUE(editor->open(nullptr));
    RecordingGuiModule* module = nullptr;
    ASSERT_TRUE(editor->AddModule(10, RecordingWrapper(editor, 10, module)));
    std::optional<ThreadRecordingAutomator> automator;
    automator.emplace();
    automator->SetEditor(editor);

    // The host's worker thread plays blocks with MIDI, gain changes and
    // program changes, and between them saves and restores the processor's
    // state, switches it off and on, and passes it a message.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::vector<float> in(512, 0.5f), out(512);
        float* inputs[1] = {in.data()};
        float* outputs[1] = {out.data()};
        AudioBusBuffers inBus{};
        inBus.numChannels = 1;
        inBus.channelBuffers32 = inputs;
        AudioBusBuffers outBus{};
        outBus.numChannels = 1;
        outBus.channelBuffers32 = outputs;
        HostParameterChanges changes;
        ProcessData data;
        data.numSamples = 512;
        data.symbolicSampleSize = kSample32;
        data.numInputs = 1;
        data.inputs = &inBus;
        data.numOutputs = 1;
        data.outputs = &outBus;
        data.inputParameterChanges = &changes;
        for (int round = 0; round < 12; ++round)
        {
            processor->setProcessing(true);
            for (int block = 0; block < 24; ++block)
            {
                changes.add(10001, 0, (block % 8) / 8.0); // controller 1: MIDI to the gain
                changes.add(0, 0, (block % 5) / 10.0);
                if (block == 12)
                    changes.add(10130, 0, round % 2);
                processor->process(data);
                changes.clear();
            }
            processor->setProcessing(false);
            HostMemoryStream saved;
            EXPECT_EQ(processor->getState(&saved), kResultOk);
            saved.rewind();
            EXPECT_EQ(processor->setState(&saved), kResultOk);
            processor->setActive(false);
            processor->setActive(true);
            EXPECT_EQ(processor->notify(BinaryMessage(host, std::string(), ShellMessageIds::kPollBatches)), kResultOk);
        }
        done = true;
    });
    // Meanwhile the editor's timer runs here, as the host's loop drives it
    // (faster than any host's timer, but leaving the core to the worker).
    while (!done.load())
    {
        editor->getFrame()->platformOnTimer();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    worker.join();
    for (int tick = 0; tick < 3; ++tick)
        editor->getFrame()->platformOnTimer();

    // The engine's reports all arrived, and only ever on this thread.
    EXPECT_FALSE(automator->updates.empty());
    EXPECT_FALSE(module->messages.empty());
    EXPECT_EQ(automator->threads, (std::set<std::thread::id>{ui}));
    EXPECT_EQ(module->threads, (std::set<std::thread::id>{ui}));
    // The program changes were told to the host there too, and the last
    // program chosen reached the controller.
    EXPECT_FALSE(handler.Restarts().empty());
    for (const auto& [thread, flags] : handler.Restarts())
        EXPECT_EQ(thread, ui);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(10130), 1.0);
    automator.reset();
    editor->close();
    view = nullptr;
    controller->disconnect(processor);
    processor->disconnect(controller);
    processor->setActive(false);
    controller->terminate();
    processor->terminate();
}
