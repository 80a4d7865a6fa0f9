// A bundle of three named programs written from the document formats alone
// (tests/patches/KvProgramSynth: every host parameter differs between the
// programs, one is a list, and no patch automator hears host MIDI), driven
// through the VST3 interfaces as a host drives it. Whichever way the host
// chooses a program, the processor reports the values it moved with the
// same block, the controller holds them when it asks the host to reread
// them, the saved state is that program whole, and the program plays.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numeric>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tools/kvhost/PluginInstance.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
const std::string kBundle = KV_PROGRAM_SYNTH_BUNDLE;
constexpr int32 kBlock = 256;
constexpr ParamID kProgramChange = 10130;
// Host ids 0-3: Wave (a list of seven), Tone and Level (0-10), Steps (0-12).
constexpr std::array<ParamID, 4> kHostIds = {0, 1, 2, 3};

// What the documents give each program: the host's normalised values of
// ids 0-3, and the saved state's text of handles 100-104.
struct Program
{
    std::array<double, 4> normalized;
    std::map<int, std::string> saved;
};
const Program kPrograms[3] = {
    {{0.0, 0.5, 0.8, 0.0}, {{100, "0"}, {101, "5"}, {102, "8"}, {103, "0"}, {104, "Init"}}},
    {{1.0 / 6, 0.25, 0.2, 7.0 / 12}, {{100, "1"}, {101, "2.5"}, {102, "2"}, {103, "7"}, {104, "Bright Saw"}}},
    {{3.0 / 6, 0.9, 0.5, 1.0}, {{100, "3"}, {101, "9"}, {102, "5"}, {103, "12"}, {104, "Dark Pad"}}},
};

std::array<double, 4> ControllerValues(IEditController* controller)
{
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < kHostIds.size(); ++i)
        values[i] = controller->getParamNormalized(kHostIds[i]);
    return values;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A host that rereads every value when the plug-in asks it to. As Ardour
// does, it holds a lock of its own (not recursive) while it loads a program
// or a preset into the controller, and its handler takes the same lock: a
// handler call made inside such a load would wait on the host itself, so it
// is counted here instead, and the test fails rather than hangs. Its run
// loop (offered on the handler, or not at all, as in Ardour 7.3) turns
// when the test says so.
class RereadingHost : public HostComponentHandler, public Linux::IRunLoop
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        const std::unique_lock<std::mutex> lock(hostLock, std::try_to_lock);
        if (!lock.owns_lock())
        {
            ++callsUnderLock;
            return kResultFalse;
        }
        if ((flags & kParamValuesChanged) && controller)
        {
            ++rereads;
            reread = ControllerValues(controller);
        }
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        const std::unique_lock<std::mutex> lock(hostLock, std::try_to_lock);
        callsUnderLock += lock.owns_lock() ? 0 : 1;
        return HostComponentHandler::performEdit(id, value);
    }
    // A load: the calls into the plug-in with the lock held.
    template <typename Call>
    tresult Load(Call call)
    {
        const std::lock_guard<std::mutex> lock(hostLock);
        return call();
    }
    // One turn of the run loop: every timer fires.
    void Turn()
    {
        for (Linux::ITimerHandler* timer : std::vector<Linux::ITimerHandler*>(timers))
            timer->onTimer();
    }

    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override
    {
        return kResultFalse;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultFalse; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* timer, Linux::TimerInterval) override
    {
        timers.push_back(timer);
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* timer) override
    {
        timers.erase(std::remove(timers.begin(), timers.end(), timer), timers.end());
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override
    {
        if (withRunLoop && FUnknownPrivate::iidEqual(queried, Linux::IRunLoop::iid))
        {
            *obj = static_cast<Linux::IRunLoop*>(this);
            return kResultOk;
        }
        return HostComponentHandler::queryInterface(queried, obj);
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    bool withRunLoop = true;
    std::vector<Linux::ITimerHandler*> timers;
    std::mutex hostLock;
    int callsUnderLock = 0;
    IEditController* controller = nullptr;
    int rereads = 0;
    std::array<double, 4> reread{};
};
#pragma GCC diagnostic pop

// The state text a processor saves, by the handles of its Params.
std::map<int, std::string> SavedValues(const std::vector<char>& chunk)
{
    std::map<int, std::string> values;
    const std::string text = chunk.size() > 4 ? std::string(chunk.begin() + 4, chunk.end()) : std::string();
    static const std::regex param(R"re(<Param id="(\d+)"[^>]*val="([^"]*)")re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), param); it != std::sregex_iterator(); ++it)
        values[std::stoi((*it)[1])] = (*it)[2];
    return values;
}

// Ardour is known to hold its lock in its loads: it hears of changes after them.
InstanceSetup AsArdour()
{
    InstanceSetup setup;
    setup.hostName = "Ardour";
    return setup;
}

struct ProgramHost
{
    explicit ProgramHost(bool withRunLoop = true)
    {
        host.withRunLoop = withRunLoop;
        std::string error;
        module = PluginModule::Load(kBundle, error);
        EXPECT_TRUE(module) << error;
        if (module)
            instance = PluginInstance::Create(module, AsArdour(), error);
        EXPECT_TRUE(instance) << error;
        if (instance)
        {
            host.controller = instance->controller();
            instance->controller()->setComponentHandler(&host);
        }
    }
    ~ProgramHost()
    {
        EXPECT_EQ(host.callsUnderLock, 0) << "the host's handler was called inside the host's own call";
        if (instance)
            instance->controller()->setComponentHandler(&instance->componentHandler());
    }

    // One block with the given input changes, at sample 0 but for the last,
    // at `lastAt`; the last output value of each id, and the block's RMS on
    // the left channel.
    std::map<ParamID, double> Process(const std::vector<std::pair<ParamID, double>>& changes, double* rms = nullptr,
                                      int32 lastAt = 0)
    {
        HostParameterChanges in;
        HostParameterChanges out;
        for (std::size_t i = 0; i < changes.size(); ++i)
            in.add(changes[i].first, i + 1 == changes.size() ? lastAt : 0, changes[i].second);
        std::vector<float> left(kBlock), right(kBlock);
        float* channels[2] = {left.data(), right.data()};
        AudioBusBuffers bus{};
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = kBlock;
        data.numOutputs = 1;
        data.outputs = &bus;
        data.inputParameterChanges = &in;
        data.outputParameterChanges = &out;
        EXPECT_EQ(instance->processor()->process(data), kResultOk);
        std::map<ParamID, double> reported;
        for (int32 i = 0; i < out.getParameterCount(); ++i)
        {
            IParamValueQueue* queue = out.getParameterData(i);
            int32 offset = 0;
            double value = 0.0;
            if (queue && queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
                reported[queue->getParameterId()] = value;
        }
        if (rms)
            *rms = std::sqrt(std::inner_product(left.begin(), left.end(), left.begin(), 0.0) / kBlock);
        return reported;
    }

    std::vector<char> Save()
    {
        std::vector<char> chunk;
        std::string error;
        EXPECT_TRUE(instance->saveState(chunk, error)) << error;
        return chunk;
    }

    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
    RereadingHost host;
};

enum class Source
{
    ProcessOnly,       // the program-change parameter in process() alone
    ProgramList,       // the controller's program list, then process()
    MidiProgramChange  // the MIDI mapping's program change in process()
};
} // namespace

TEST(ProgramChoice, EverySourceShowsReportsAndSavesTheChosenProgramWhole)
{
    ProgramHost session;
    ASSERT_TRUE(session.instance);
    IEditController* controller = session.instance->controller();

    // What a host finds: a program list of the three names, whose parameter
    // is the program-change parameter, and the MIDI mapping's program change.
    FUnknownPtr<IUnitInfo> units(controller);
    ASSERT_TRUE(units);
    ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
    ASSERT_EQ(list.programCount, 3);
    ParameterInfo programInfo{};
    bool found = false;
    for (int32 i = 0; i < controller->getParameterCount() && !found; ++i)
        found = controller->getParameterInfo(i, programInfo) == kResultOk &&
                (programInfo.flags & ParameterInfo::kIsProgramChange) != 0;
    ASSERT_TRUE(found);
    ASSERT_EQ(programInfo.stepCount, 2);
    ParamID midiProgram = 0;
    ASSERT_TRUE(session.instance->mapMidiController(0, ControllerNumbers::kCtrlProgramChange, midiProgram));

    // Program 0 as the documents give it.
    EXPECT_EQ(SavedValues(session.Save()), kPrograms[0].saved);
    double rms[3] = {};
    session.Process({}, &rms[0]);

    int current = 0;
    const std::pair<Source, int> steps[] = {{Source::ProcessOnly, 2}, {Source::ProgramList, 1},
                                            {Source::MidiProgramChange, 0}, {Source::ProgramList, 2},
                                            {Source::MidiProgramChange, 1}, {Source::ProcessOnly, 0}};
    for (const auto& [source, program] : steps)
    {
        SCOPED_TRACE("source " + std::to_string(static_cast<int>(source)) + ", program " + std::to_string(program));
        const Program& chosen = kPrograms[program];
        // A host that sends back, in the same block but before the program's
        // sample, the values it showed until then: they stay with the
        // program it leaves.
        std::vector<std::pair<ParamID, double>> changes;
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
            changes.emplace_back(kHostIds[i], kPrograms[current].normalized[i]);
        const double value = static_cast<double>(program) / programInfo.stepCount;
        if (source == Source::ProgramList)
        {
            ASSERT_EQ(session.host.Load([&] { return controller->setParamNormalized(programInfo.id, value); }),
                      kResultOk);
        }
        changes.emplace_back(source == Source::MidiProgramChange ? midiProgram : programInfo.id, value);
        const int rereads = session.host.rereads;

        const auto reported = session.Process(changes, nullptr, 16);
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
        {
            const auto at = reported.find(kHostIds[i]);
            ASSERT_NE(at, reported.end()) << "no output change for id " << kHostIds[i];
            EXPECT_NEAR(at->second, chosen.normalized[i], 1e-6) << "id " << kHostIds[i];
        }
        // The host saves: the state is the chosen program, every value of it.
        EXPECT_EQ(SavedValues(session.Save()), chosen.saved);
        // The controller heard of it on the way, and asks the host to reread,
        // once its values are the program's, when the host's run loop turns.
        session.host.Turn();
        EXPECT_EQ(session.host.rereads, rereads + 1);
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
        {
            EXPECT_NEAR(session.host.reread[i], chosen.normalized[i], 1e-6) << "reread id " << kHostIds[i];
            EXPECT_NEAR(controller->getParamNormalized(kHostIds[i]), chosen.normalized[i], 1e-6)
                << "id " << kHostIds[i];
        }
        EXPECT_NEAR(controller->getParamNormalized(programInfo.id), value, 1e-9);
        // It plays: the next blocks sound at the program's wave and level.
        session.Process({});
        session.Process({}, &rms[program]);
        current = program;
    }
    // Sine at 8, triangle at 5, saw at 2.
    EXPECT_GT(rms[0], rms[2] * 1.5);
    EXPECT_GT(rms[2], rms[1] * 1.5);
    EXPECT_GT(rms[1], 0.0);

    // Saved after a program change, restored into a fresh instance: the
    // same program's values, for the host and in its next save.
    session.Process({{programInfo.id, 1.0}});
    const std::vector<char> saved = session.Save();
    ASSERT_EQ(SavedValues(saved), kPrograms[2].saved);
    ProgramHost fresh;
    ASSERT_TRUE(fresh.instance);
    std::string error;
    ASSERT_TRUE(fresh.instance->loadState(saved, error)) << error;
    for (std::size_t i = 0; i < kHostIds.size(); ++i)
        EXPECT_NEAR(fresh.instance->controller()->getParamNormalized(kHostIds[i]), kPrograms[2].normalized[i], 1e-6);
    fresh.Process({});
    EXPECT_EQ(SavedValues(fresh.Save()), kPrograms[2].saved);
}

TEST(ProgramChoice, AHostThatChoosesProgramsAndPresetsUnderItsLockReadsThemAtOnceAndHearsOfThemAfterwards)
{
    // As Ardour does with its preset menu: the program-change parameter is
    // set on the controller, holding the host's lock, and queued for
    // process(); every parameter is read at once, before any block has
    // played the program. The host hears that the values changed once its
    // run loop turns, or, with none, when it next asks for its parameters.
    for (const bool withRunLoop : {true, false})
    {
        SCOPED_TRACE(withRunLoop ? "with a run loop" : "without a run loop");
        ProgramHost session(withRunLoop);
        ASSERT_TRUE(session.instance);
        IEditController* controller = session.instance->controller();
        ParamID programId = 0;
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            if (controller->getParameterInfo(i, info) == kResultOk && (info.flags & ParameterInfo::kIsProgramChange))
                programId = info.id;
        }
        ASSERT_EQ(programId, kProgramChange);
        session.Process({});

        // What the host reads: each value and its text, which names the program's.
        auto expectProgram = [&](const std::array<double, 4>& normalized, const std::map<int, std::string>& saved) {
            for (std::size_t i = 0; i < kHostIds.size(); ++i)
            {
                const double value = controller->getParamNormalized(kHostIds[i]);
                EXPECT_NEAR(value, normalized[i], 1e-6) << "id " << kHostIds[i];
                const double plain = controller->normalizedParamToPlain(kHostIds[i], value);
                // The list counts positions; the others name the value saved.
                if (kHostIds[i] != 0)
                {
                    EXPECT_NEAR(plain, std::stod(saved.at(static_cast<int>(100 + kHostIds[i]))), 1e-6);
                }
            }
        };
        // Program 1 with its level turned to 3 by the user: the controller keeps
        // that for program 1, as the engine does, when the host leaves it and
        // comes back.
        std::array<double, 4> edited = kPrograms[1].normalized;
        edited[2] = 0.3;
        std::map<int, std::string> editedSaved = kPrograms[1].saved;
        editedSaved[102] = "3";

        // The run loop turns, or the host next asks for its parameters.
        const auto tellHost = [&] {
            if (withRunLoop)
                session.host.Turn();
            else
                controller->getParameterCount();
        };
        int shown = 0;
        const int sequence[] = {2, 0, 1, -1, 2, 1, 0, 2};
        for (const int program : sequence)
        {
            if (program < 0)
            {
                // The user's edit, as a host passes it: controller and process().
                ASSERT_EQ(controller->setParamNormalized(2, 0.3), kResultOk);
                session.Process({{2, 0.3}});
                continue;
            }
            SCOPED_TRACE("program " + std::to_string(program));
            const bool wasEdited = program == 1 && shown > 0;
            const auto& normalized = wasEdited ? edited : kPrograms[program].normalized;
            const auto& saved = wasEdited ? editedSaved : kPrograms[program].saved;
            const int rereads = session.host.rereads;
            const double value = program / 2.0;
            ASSERT_EQ(session.host.Load([&] { return controller->setParamNormalized(programId, value); }), kResultOk);
            EXPECT_EQ(session.host.rereads, rereads);
            tellHost();
            EXPECT_EQ(session.host.rereads, rereads + 1);
            for (std::size_t i = 0; i < kHostIds.size(); ++i)
                EXPECT_NEAR(session.host.reread[i], normalized[i], 1e-6) << "reread id " << kHostIds[i];
            expectProgram(normalized, saved);

            // The queued value plays it, and the host's values stay.
            session.Process({{programId, value}});
            expectProgram(normalized, saved);
            EXPECT_EQ(SavedValues(session.Save()), saved);
            EXPECT_NEAR(controller->getParamNormalized(programId), value, 1e-9);
            if (program == 1)
                ++shown;
        }

        // A user preset (the processor's state as the host saved it) loaded
        // into both, under the host's lock: told once, afterwards.
        const std::vector<char> preset = session.Save();
        session.Process({{programId, 0.0}});
        session.Save();
        tellHost();
        const int rereads = session.host.rereads;
        std::string error;
        ASSERT_EQ(session.host.Load([&] { return session.instance->loadState(preset, error) ? kResultOk : kResultFalse; }),
                  kResultOk)
            << error;
        EXPECT_EQ(session.host.rereads, rereads);
        tellHost();
        tellHost();
        EXPECT_EQ(session.host.rereads, rereads + 1);
        expectProgram(kPrograms[2].normalized, kPrograms[2].saved);
    }
}

TEST(ProgramChoice, AValueSentAtTheProgramsSampleIsTheOneThatPlaysAndSaves)
{
    // The second program's level (2) with the host's 9 sent at the
    // program's own sample, listed after it or before it, as pedalboard
    // sends a program and a value set before one render; and at an earlier
    // sample, where it belongs to the program left. The controller takes
    // them in the order the host calls it.
    struct Case
    {
        std::vector<std::pair<ParamID, double>> changes;
        int32 lastAt;
        const char* saved;
    };
    const Case cases[] = {{{{kProgramChange, 0.5}, {2, 0.9}}, 0, "9"},
                          {{{2, 0.9}, {kProgramChange, 0.5}}, 0, "9"},
                          {{{2, 0.9}, {kProgramChange, 0.5}}, 16, "2"}};
    double rms[3] = {};
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE("case " + std::to_string(i));
        ProgramHost session;
        ASSERT_TRUE(session.instance);
        IEditController* controller = session.instance->controller();
        ASSERT_EQ(controller->setParamNormalized(kProgramChange, 0.5), kResultOk);
        ASSERT_EQ(controller->setParamNormalized(2, 0.9), kResultOk);
        EXPECT_NEAR(controller->getParamNormalized(2), 0.9, 1e-9);
        session.Process(cases[i].changes, nullptr, cases[i].lastAt);
        session.Process({});
        session.Process({}, &rms[i]);
        EXPECT_EQ(SavedValues(session.Save()).at(102), cases[i].saved);
    }
    EXPECT_NEAR(rms[1], rms[0], rms[0] * 1e-3);
    EXPECT_LT(rms[2], rms[0] * 0.5);
}

TEST(ProgramChoice, AnInstanceRecreatedFromItsStatePlaysTheChosenProgramWithItsValuesAndLeavesTheOthersAlone)
{
    // Program 2 chosen as a host chooses it, its tone turned to 3, saved
    // (the processor's state and the controller's), and a new instance made
    // from it as pedalboard and a reopened session make one.
    ProgramHost before;
    ASSERT_TRUE(before.instance);
    IEditController* controller = before.instance->controller();
    before.Process({});
    ASSERT_EQ(controller->setParamNormalized(kProgramChange, 1.0), kResultOk);
    before.Process({{kProgramChange, 1.0}});
    before.host.Turn();
    ASSERT_EQ(controller->setParamNormalized(1, 0.3), kResultOk);
    before.Process({{1, 0.3}});
    const std::vector<char> processor = before.Save();
    HostMemoryStream own;
    ASSERT_EQ(controller->getState(&own), kResultOk);

    ProgramHost after;
    ASSERT_TRUE(after.instance);
    IEditController* restored = after.instance->controller();
    HostMemoryStream component(processor);
    ASSERT_EQ(after.instance->component()->setState(&component), kResultOk);
    HostMemoryStream shown(processor);
    ASSERT_EQ(restored->setComponentState(&shown), kResultOk);
    HostMemoryStream mine(own.bytes());
    ASSERT_EQ(restored->setState(&mine), kResultOk);
    after.host.Turn();

    // Program 2 is current, with its values as they were saved.
    std::array<double, 4> edited = kPrograms[2].normalized;
    edited[1] = 0.3;
    std::map<int, std::string> saved = kPrograms[2].saved;
    saved[101] = "3";
    EXPECT_EQ(restored->getParamNormalized(kProgramChange), 1.0);
    for (std::size_t i = 0; i < edited.size(); ++i)
        EXPECT_NEAR(ControllerValues(restored)[i], edited[i], 1e-6) << i;
    // The first block carries the host's copy of the values, as Ardour sends
    // it after reopening a session: they are the restored program's.
    std::vector<std::pair<ParamID, double>> copy;
    for (std::size_t i = 0; i < edited.size(); ++i)
        copy.emplace_back(static_cast<ParamID>(i), edited[i]);
    after.Process(copy);
    EXPECT_EQ(SavedValues(after.Save()), saved);

    // Program 0 holds its own values still; program 2 keeps the saved ones.
    for (const auto& [program, values, texts] :
         {std::tuple{0, kPrograms[0].normalized, kPrograms[0].saved}, std::tuple{2, edited, saved}})
    {
        SCOPED_TRACE(program);
        const double value = program / 2.0;
        ASSERT_EQ(restored->setParamNormalized(kProgramChange, value), kResultOk);
        after.Process({{kProgramChange, value}});
        after.host.Turn();
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_NEAR(ControllerValues(restored)[i], values[i], 1e-6) << i;
        EXPECT_EQ(SavedValues(after.Save()), texts);
    }
}
