// A bundle of three named programs written from the document formats alone
// (tests/patches/KvProgramSynth: every host parameter differs between the
// programs, one is a list, and no patch automator hears host MIDI), driven
// through the VST3 interfaces as a host drives it. Whichever way the host
// chooses a program, the processor reports the values it moved with the
// same block, the controller holds them when it asks the host to reread
// them, the saved state is that program whole, and the program plays. A
// preset, a program and a value at the program's sample too.

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "HostModel.h"
#include "ShellTestSupport.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/vst/vstpresetfile.h"

using namespace host_model;

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

// A host that rereads every value when the plug-in asks it to and, as
// Ardour does, holds its lock while it loads a program or a preset into the
// controller. Its run loop is offered (or not at all, as in Ardour 7.3).
struct ProgramHost : Plugin
{
    explicit ProgramHost(bool withRunLoop = true, const char* name = "Ardour") : Plugin(kBundle, name, withRunLoop) {}

    // One block with the given input changes, at sample 0 but for the last,
    // at `lastAt`; the last output value of each id, and the block's RMS.
    Values Process(const std::vector<std::pair<ParamID, double>>& changes, double* rms = nullptr, int32 lastAt = 0)
    {
        std::vector<Change> timed;
        for (const auto& [id, value] : changes)
            timed.push_back({id, value, timed.size() + 1 == changes.size() ? lastAt : 0});
        Values reported;
        const std::vector<float> played = Block(kBlock, timed, false, &reported);
        if (rms)
            *rms = Rms(played);
        return reported;
    }
    std::vector<char> Save() const { return ProcessorState(); }
};

enum class Source
{
    ProcessOnly,       // the program-change parameter in process() alone
    ProgramList,       // the controller's program list, then process()
    MidiProgramChange  // the MIDI mapping's program change in process()
};
} // namespace

TEST(ProgramChoice, EverySourceShowsAndSavesTheChosenProgramWholeAndReportsNoneOfIt)
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

        // The host chose the program: none of its values goes back to the
        // host as an output change, which the host would hear again.
        const auto reported = session.Process(changes, nullptr, 16);
        for (const ParamID id : kHostIds)
            EXPECT_EQ(reported.count(id), 0u) << "output change for id " << id;
        // The host saves: the state is the chosen program, every value of it.
        EXPECT_EQ(SavedValues(session.Save()), chosen.saved);
        // The controller heard of it on the way, and asks the host to reread,
        // once its values are the program's, when the host's run loop turns.
        session.host.Turn();
        EXPECT_EQ(session.host.rereads, rereads + 1);
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
        {
            EXPECT_NEAR(session.host.copy[kHostIds[i]], chosen.normalized[i], 1e-6) << "reread id " << kHostIds[i];
            EXPECT_NEAR(session.host.shown[kHostIds[i]], chosen.normalized[i], 1e-6) << "Ardour shows id " << kHostIds[i];
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
                EXPECT_NEAR(session.host.copy[kHostIds[i]], normalized[i], 1e-6) << "reread id " << kHostIds[i];
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

TEST(ProgramChoice, ASessionArdourReopensKeepsItsStateOverThePresetItRestoredFirst)
{
    // Ardour 7.3 reopening a session: in a fresh instance it chooses the
    // last preset (program 1, its values heard as edits into its copy), then
    // sets the saved state (program 1 with its level edited, or program 0),
    // then writes its marked copy back. The state's values stay.
    for (const bool sameProgram : {true, false})
    {
        SCOPED_TRACE(sameProgram ? "the state in the preset's program" : "the state in another program");
        ProgramHost saved(false);
        saved.Process({{kProgramChange, sameProgram ? 0.5 : 0.0}});
        ASSERT_EQ(saved.controller()->setParamNormalized(2, 0.3), kResultOk);
        saved.Process({{2, 0.3}});
        const std::vector<char> state = saved.Save();

        ProgramHost reopened(false);
        ModelHost& host = reopened.host;
        host.Load([&] { return reopened.controller()->setParamNormalized(kProgramChange, 0.5); });
        host.Load([&] { return reopened.Restore(state, saved.ControllerState()), kResultOk; });
        host.WriteBack();
        reopened.controller()->getParameterCount();
        std::vector<std::pair<ParamID, double>> pending(host.pending.begin(), host.pending.end());
        reopened.Process(pending);
        EXPECT_NEAR(host.copy[2], 0.3, 1e-6) << "Ardour's copy";
        EXPECT_NEAR(reopened.controller()->getParamNormalized(2), 0.3, 1e-6);
        EXPECT_EQ(SavedValues(reopened.Save()), SavedValues(state));
    }
}

TEST(ProgramChoice, AValueSentAtTheProgramsSampleIsTheOneThatPlaysAndSaves)
{
    // The second program's level (2) with the host's 9, set on the
    // controller after the program and sent at the program's own sample,
    // listed after it or before it, as pedalboard sends a program and a
    // value set before one render: one action on both routes, in the
    // program chosen. Sent in the block alone at an earlier sample, the
    // value belongs to the program left.
    struct Case
    {
        std::vector<std::pair<ParamID, double>> changes;
        int32 lastAt;
        bool onController;
        const char* saved;
    };
    const Case cases[] = {{{{kProgramChange, 0.5}, {2, 0.9}}, 0, true, "9"},
                          {{{2, 0.9}, {kProgramChange, 0.5}}, 0, true, "9"},
                          {{{2, 0.9}, {kProgramChange, 0.5}}, 16, false, "2"}};
    double rms[3] = {};
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        SCOPED_TRACE("case " + std::to_string(i));
        ProgramHost session;
        ASSERT_TRUE(session.instance);
        IEditController* controller = session.instance->controller();
        ASSERT_EQ(controller->setParamNormalized(kProgramChange, 0.5), kResultOk);
        if (cases[i].onController)
        {
            ASSERT_EQ(controller->setParamNormalized(2, 0.9), kResultOk);
            EXPECT_NEAR(controller->getParamNormalized(2), 0.9, 1e-9);
        }
        session.Process(cases[i].changes, nullptr, cases[i].lastAt);
        session.Process({});
        session.Process({}, &rms[i]);
        EXPECT_EQ(SavedValues(session.Save()).at(102), cases[i].saved);
    }
    EXPECT_NEAR(rms[1], rms[0], rms[0] * 1e-3);
    EXPECT_LT(rms[2], rms[0] * 0.5);
}

TEST(ProgramChoice, AHostKeepingACopyHasAPresetAndEachProgramInItBeforeItsNextCallAndARecreatedInstancePlaysThem)
{
    // A host that keeps a copy of the values as JUCE-framework hosts
    // (pedalboard, DawDreamer) do: refreshed only by the plug-in's restart
    // and performEdit, a run loop offered that never turns, no lock. The
    // preset: program 2 chosen in a block, its tone turned to 3, saved as the
    // SDK's preset file saves it.
    FUID processorClass;
    ASSERT_TRUE(processorClass.fromRegistryString("{8E21B4C7-3A5D-4F60-B1C2-7D9E0F3A5B01}"));
    HostMemoryStream file;
    {
        ProgramHost maker(true, "pedalboard");
        maker.Process({{kProgramChange, 1.0}});
        ASSERT_EQ(maker.controller()->setParamNormalized(1, 0.3), kResultOk);
        maker.Process({{1, 0.3}});
        ASSERT_TRUE(PresetFile::savePreset(&file, processorClass, maker.component(), maker.controller()));
    }
    Program edited = kPrograms[2];
    edited.normalized[1] = 0.3;
    edited.saved[101] = "3";
    ProgramHost session(true, "pedalboard");
    const auto expectCopy = [&](const Program& program) {
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
            EXPECT_NEAR(session.host.copy[kHostIds[i]], program.normalized[i], 1e-6) << "id " << kHostIds[i];
    };

    // Loaded into a new instance as the SDK loads it: before the host's
    // next call, its copy has program 2 current with the preset's values.
    file.rewind();
    ASSERT_TRUE(PresetFile::loadPreset(&file, processorClass, session.component(), session.controller()));
    EXPECT_EQ(session.host.copy[kProgramChange], 1.0);
    expectCopy(edited);

    // pedalboard's render: a new instance given the state, then every value
    // of the copy, on the controller and in the first block. It plays what
    // an instance given the state alone plays, sample for sample.
    std::vector<char> state;
    std::string error;
    ASSERT_TRUE(session.instance->saveState(state, error)) << error;
    std::vector<float> played[2];
    for (const bool written : {false, true})
    {
        ProgramHost recreated(true, "pedalboard");
        ASSERT_TRUE(recreated.instance->loadState(state, error)) << error;
        std::vector<Change> copy;
        for (const auto& [id, value] : session.host.copy)
            if (written && recreated.controller()->setParamNormalized(id, value) == kResultOk &&
                id != kProgramChange)
                copy.push_back({id, value});
        for (int block = 0; block < 40; ++block)
        {
            const std::vector<float> out = recreated.Block(kBlock, block == 0 ? copy : std::vector<Change>{});
            played[written].insert(played[written].end(), out.begin(), out.end());
        }
        // The copy written with the first block (without the program, as
        // Ardour writes it after reopening a session) went to the program
        // the state restored: program 0 still holds its own values.
        if (written)
        {
            recreated.Process({{kProgramChange, 0.0}});
            EXPECT_EQ(SavedValues(recreated.Save()), kPrograms[0].saved);
        }
    }
    EXPECT_GT(Rms(played[0]), 0.01);
    EXPECT_TRUE(played[1] == played[0]) << "the re-created instance does not play the preset";

    // Each program chosen through its parameter, in the copy before the
    // host's next call and kept by what the block reports; program 0 holds
    // its own values still, program 2 the preset's.
    for (const int program : {0, 1, 2})
    {
        SCOPED_TRACE("program " + std::to_string(program));
        const Program& chosen = program == 2 ? edited : kPrograms[program];
        ASSERT_EQ(session.controller()->setParamNormalized(kProgramChange, program / 2.0), kResultOk);
        expectCopy(chosen);
        for (const auto& [id, value] : session.Process({{kProgramChange, program / 2.0}}))
            session.host.copy[id] = value;
        expectCopy(chosen);
        EXPECT_EQ(SavedValues(session.Save()), chosen.saved);
    }
}

TEST(ProgramChoice, TheHostsNewerValuesHoldAgainstTheEnginesEarlierReportsWhateverCallBringsThem)
{
    // A host keeping a copy, no lock (pedalboard's name): program 2 chosen on
    // the controller and in a block, some blocks, then every value set on
    // the controller and in the next block. The engine's reports of the
    // program wait for the host's next call on the user-interface thread;
    // whichever it is, the controller and the copy keep the host's values.
    const std::array<double, 4> set = {2.0 / 6, 0.38, 0.45, 6.0 / 12};
    for (const int between : {0, 24})
    {
        SCOPED_TRACE(std::to_string(between) + " blocks between");
        ProgramHost session(true, "pedalboard");
        ASSERT_TRUE(session.instance);
        ASSERT_EQ(session.controller()->setParamNormalized(kProgramChange, 1.0), kResultOk);
        session.Process({{kProgramChange, 1.0}});
        for (int block = 0; block < between; ++block)
            session.Process({});
        std::vector<std::pair<ParamID, double>> values;
        for (std::size_t i = 0; i < kHostIds.size(); ++i)
        {
            ASSERT_EQ(session.controller()->setParamNormalized(kHostIds[i], set[i]), kResultOk);
            session.host.copy[kHostIds[i]] = set[i];
            values.emplace_back(kHostIds[i], set[i]);
        }
        const auto expectSet = [&](const char* after) {
            for (std::size_t i = 0; i < kHostIds.size(); ++i)
            {
                EXPECT_NEAR(session.controller()->getParamNormalized(kHostIds[i]), set[i], 1e-6)
                    << after << ": id " << kHostIds[i];
                EXPECT_NEAR(session.host.copy[kHostIds[i]], set[i], 1e-6) << after << ": copy of id " << kHostIds[i];
            }
            EXPECT_NEAR(session.controller()->getParamNormalized(kProgramChange), 1.0, 1e-9) << after;
        };
        // Saved before the block that brings the values, and after.
        EXPECT_EQ(SavedValues(session.Save()).at(101), "3.8");
        expectSet("the state taken before the block");
        session.Process(values);
        for (int block = 0; block < 10; ++block)
            session.Process({});
        expectSet("ten blocks");
        EXPECT_EQ(SavedValues(session.Save()).at(101), "3.8");
        expectSet("the state taken");
        session.component()->setActive(false);
        session.component()->setActive(true);
        expectSet("a new activation");
        session.Process({});
        session.Save();
        expectSet("the next block and state");
    }
}

TEST(ProgramChoice, AStateTakenBeforeAnyBlockHoldsWhatTheHostSetAndARestoredInstancePlaysIt)
{
    // What the host set on the controller and queued for process() (a
    // program, values, the bypass), with the state taken before a block:
    // a new instance given that state plays what one that received it all
    // in a block plays, and a state restored after other values (pluginval)
    // brings back what was taken.
    constexpr ParamID kBypass = 10131;
    struct Case
    {
        const char* name;
        std::vector<std::pair<ParamID, double>> set;
    };
    const Case cases[] = {
        {"a program, then values", {{kProgramChange, 0.5}, {1, 0.37}, {3, 5.0 / 12}}},
        {"values, then a program", {{1, 0.37}, {kProgramChange, 1.0}}},
        {"the bypass", {{2, 0.6}, {kBypass, 1.0}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ProgramHost taken(true, "pedalboard");
        std::vector<Change> block;
        for (const auto& [id, value] : c.set)
        {
            ASSERT_EQ(taken.controller()->setParamNormalized(id, value), kResultOk);
            block.push_back({id, value});
        }
        std::map<ParamID, double> shown;
        for (const auto& [id, value] : c.set)
            shown[id] = taken.controller()->getParamNormalized(id);
        const std::vector<char> state = taken.Save();
        const std::vector<char> own = taken.ControllerState();

        ProgramHost restored(true, "pedalboard"), delivered(true, "pedalboard");
        restored.Restore(state, own);
        // The same actions in the host's order, each in a block of its own.
        for (const Change& change : block)
            delivered.Block(0, {change});
        std::vector<float> played[2];
        for (int n = 0; n < 20; ++n)
        {
            const std::vector<float> a = restored.Block(kBlock, {}, n == 0);
            const std::vector<float> b = delivered.Block(kBlock, {}, n == 0);
            played[0].insert(played[0].end(), a.begin(), a.end());
            played[1].insert(played[1].end(), b.begin(), b.end());
        }
        EXPECT_TRUE(played[0] == played[1]) << "the restored instance does not play what the host set";
        EXPECT_EQ(SavedValues(restored.Save()), SavedValues(delivered.Save()));
        // It shows what the instance showed when the state was taken: what
        // the host set last (a program chosen after a value replaces it).
        for (const auto& [id, value] : shown)
            EXPECT_NEAR(restored.controller()->getParamNormalized(id), value, 1e-6) << "id " << id;

        // Other values set, then the state taken restored: the values taken return.
        for (const ParamID id : kHostIds)
            taken.controller()->setParamNormalized(id, 0.9);
        taken.Restore(state, own);
        for (const ParamID id : kHostIds)
            EXPECT_NEAR(taken.controller()->getParamNormalized(id), restored.controller()->getParamNormalized(id), 1e-6)
                << "restored id " << id;
    }
}

TEST(ProgramChoice, AHostThatRecreatesThePlugInBeforeEachRenderPlaysEachProgramChosenAndKeepsEachProgramsValues)
{
    // pedalboard's render: the state taken (processor, controller), the
    // instance replaced by a new one given that state, then every value of
    // the host's copy that differs from what the new instance reads is set,
    // in index order, twice, on the controller and at offset 0 of the first
    // block. The host's copy follows only restarts and edits, and its own
    // settings. Each program chosen through its parameter plays as an
    // instance that chose it alone plays it.
    std::vector<float> reference[3];
    for (int program = 0; program < 3; ++program)
    {
        ProgramHost alone(true, "pedalboard");
        for (int n = 0; n < 12; ++n)
        {
            const std::vector<float> out =
                alone.Block(kBlock, n == 0 ? std::vector<Change>{{kProgramChange, program / 2.0}} : std::vector<Change>{},
                            n == 4);
            if (n >= 4)
                reference[program].insert(reference[program].end(), out.begin(), out.end());
        }
    }
    auto current = std::make_unique<ProgramHost>(true, "pedalboard");
    for (const int program : {1, 0, 2, 2, 1, 1, 0, 2, 0, 1, 2, 0})
    {
        SCOPED_TRACE("program " + std::to_string(program));
        ASSERT_EQ(current->controller()->setParamNormalized(kProgramChange, program / 2.0), kResultOk);
        current->host.copy[kProgramChange] = program / 2.0;
        const Values copy = current->host.copy;
        const std::vector<char> state = current->Save();
        const std::vector<char> own = current->ControllerState();
        current.reset();
        current = std::make_unique<ProgramHost>(true, "pedalboard");
        current->Restore(state, own);
        std::map<ParamID, double> written;
        for (int pass = 0; pass < 2; ++pass)
            for (int32 i = 0; i < current->controller()->getParameterCount(); ++i)
            {
                ParameterInfo info{};
                current->controller()->getParameterInfo(i, info);
                const auto found = copy.find(info.id);
                if (found == copy.end() || found->second == current->controller()->getParamNormalized(info.id))
                    continue;
                current->controller()->setParamNormalized(info.id, found->second);
                written[info.id] = found->second;
            }
        std::vector<Change> first;
        for (const auto& [id, value] : written)
            first.push_back({id, value});
        std::vector<float> played;
        for (int n = 0; n < 12; ++n)
        {
            const std::vector<float> out = current->Block(kBlock, n == 0 ? first : std::vector<Change>{}, n == 4);
            if (n >= 4)
                played.insert(played.end(), out.begin(), out.end());
        }
        EXPECT_TRUE(played == reference[program]) << "another program plays";
    }
    for (const int program : {0, 1, 2})
    {
        current->Process({{kProgramChange, program / 2.0}});
        EXPECT_EQ(SavedValues(current->Save()), kPrograms[program].saved) << "program " << program;
    }
}

TEST(ProgramChoice, AStateNamingAProgramTheBundleDoesNotOfferPlaysItsValuesInTheCurrentProgramAndSavesThatOne)
{
    // The bundle's engine document keeps room for more programs than the
    // three the parameters document offers the host (no PatchCount: the
    // engine's own default).
    shell_test::ScratchFolder scratch;
    const std::filesystem::path bundle = scratch.path() / "KvProgramSynth.vst3";
    std::filesystem::copy(kBundle, bundle, std::filesystem::copy_options::recursive);
    const std::filesystem::path dsp = bundle / "Contents" / "Resources" / "dsp.kv.xml";
    shell_test::WriteText(dsp, std::regex_replace(shell_test::ReadText(dsp), std::regex(" PatchCount=\"3\""), ""));

    // Program 1's values in a state that names program 3.
    std::string text = "<?xml version=\"1.0\" ?>\n<Parameters program=\"3\">\n";
    for (const auto& [handle, value] : kPrograms[1].saved)
        text += " <Param id=\"" + std::to_string(handle) + "\" val=\"" + value + "\" />\n";
    text += "</Parameters>\n";
    std::vector<char> state(4);
    const auto length = static_cast<int32>(text.size());
    std::memcpy(state.data(), &length, sizeof(length));
    state.insert(state.end(), text.begin(), text.end());

    Plugin session(bundle.string(), "Ardour");
    ASSERT_TRUE(session.instance);
    session.Block(kBlock);
    session.Restore(state, {});
    session.Block(kBlock);
    session.Block(kBlock);
    const double rms = Rms(session.Block(kBlock));

    // Saved back: the values as given, in the program the controller shows.
    const std::vector<char> saved = session.ProcessorState();
    EXPECT_EQ(SavedValues(saved), kPrograms[1].saved);
    std::smatch program;
    const std::string savedText(saved.begin() + 4, saved.end());
    ASSERT_TRUE(std::regex_search(savedText, program, std::regex("<Parameters program=\"(\\d+)\""))) << savedText;
    EXPECT_DOUBLE_EQ(session.controller()->getParamNormalized(kProgramChange), std::stoi(program[1]) / 2.0);

    // It plays program 1's sound.
    ProgramHost reference;
    ASSERT_TRUE(reference.instance);
    reference.Process({{kProgramChange, 0.5}});
    reference.Process({});
    reference.Process({});
    double expected = 0.0;
    reference.Process({}, &expected);
    EXPECT_NEAR(rms, expected, expected * 1e-3);
}

TEST(ProgramChoice, AProgramChosenOnAHostThreadLeavesAValueSetAfterItWhenTheUserInterfaceThreadTakesIt)
{
    // A host choosing the program from a worker thread (Qtractor), then
    // setting a value there too: when the user-interface thread takes the
    // choice (here, opening the editor) the later value stays.
    ProgramHost session(true, "Qtractor");
    std::thread([&] {
        EXPECT_EQ(session.controller()->setParamNormalized(kProgramChange, 1.0), kResultOk);
        EXPECT_EQ(session.controller()->setParamNormalized(2, 0.3782), kResultOk);
    }).join();
    IPtr<IPlugView> view = owned(session.controller()->createView("editor"));
    EXPECT_NEAR(session.controller()->getParamNormalized(2), 0.3782, 1e-9);
    EXPECT_NEAR(session.controller()->getParamNormalized(1), kPrograms[2].normalized[1], 1e-6);
    session.Process({{kProgramChange, 1.0}, {2, 0.3782}});
    EXPECT_EQ(SavedValues(session.Save()).at(102), "3.782");
    EXPECT_NEAR(session.controller()->getParamNormalized(2), 0.3782, 1e-6);
}
