// The order of what a host does, what it passes back of the plug-in's own
// reports, and parameters that show another: a JUCE-framework host forwards each block's output
// parameter changes to the controller, at once or late (a timer, the start
// of a state call); pedalboard re-creates the plug-in and writes back every
// value of its copy that the new instance reads otherwise. Neither changes
// what the host did last, in the controller, the state or the sound.

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "HostModel.h"

using namespace host_model;

namespace
{
constexpr int32 kBlock = 256;
constexpr ParamID kProgramChange = 10130;

// The host's normalised values of the program bundle's ids 0-3 for each program.
constexpr std::array<std::array<double, 4>, 3> kProgramValues = {{
    {0.0, 0.5, 0.8, 0.0},
    {1.0 / 6, 0.25, 0.2, 7.0 / 12},
    {3.0 / 6, 0.9, 0.5, 1.0},
}};

std::vector<float> PlayNote(Plugin& plugin, const std::vector<Change>& first, int blocks = 12)
{
    std::vector<float> played;
    for (int n = 0; n < blocks; ++n)
    {
        const std::vector<float> block = plugin.Block(kBlock, n == 0 ? first : std::vector<Change>{}, n == 0);
        played.insert(played.end(), block.begin(), block.end());
    }
    return played;
}

// Every value of the host's copy that `plugin` reads otherwise: set on its
// controller and sent in its next block, as pedalboard does after a re-creation.
std::vector<Change> WriteBack(const Values& copy, Plugin& plugin)
{
    std::vector<Change> changes;
    for (const auto& [id, value] : copy)
        if (plugin.controller()->getParamNormalized(id) != value)
        {
            plugin.controller()->setParamNormalized(id, value);
            changes.push_back({id, value});
        }
    return changes;
}
} // namespace

TEST(HostOrder, AProgramPlayedOnAnotherThreadReportsNothingAndOneChosenAfterItIsWhatPlaysAndIsSaved)
{
    // Program 2 chosen and played on another thread: none of its values
    // goes back to the host, which would hear them again. Program 1 chosen
    // after it is what the host sees, what the state names and what plays.
    Plugin live(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard");
    ASSERT_TRUE(live.instance);
    Values reported;
    live.controller()->setParamNormalized(kProgramChange, 1.0);
    std::thread([&] { live.Block(kBlock, {{kProgramChange, 1.0}}, false, &reported); }).join();
    EXPECT_TRUE(reported.empty());
    live.controller()->setParamNormalized(kProgramChange, 0.5);
    const std::vector<char> state = live.ProcessorState();
    const std::vector<char> own = live.ControllerState();
    Plugin chosen(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard"), restored(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard");
    chosen.controller()->setParamNormalized(kProgramChange, 0.5);
    restored.Restore(state, own);
    for (std::size_t id = 0; id < 4; ++id)
    {
        EXPECT_NEAR(live.controller()->getParamNormalized(static_cast<ParamID>(id)), kProgramValues[1][id], 1e-6);
        EXPECT_NEAR(live.host.copy[static_cast<ParamID>(id)], kProgramValues[1][id], 1e-6) << "the host's copy";
        EXPECT_NEAR(restored.controller()->getParamNormalized(static_cast<ParamID>(id)), kProgramValues[1][id], 1e-6);
    }
    EXPECT_NEAR(restored.controller()->getParamNormalized(kProgramChange), 0.5, 1e-9);
    const std::vector<float> expected = PlayNote(chosen, {{kProgramChange, 0.5}});
    EXPECT_TRUE(PlayNote(restored, {}) == expected) << "the restored instance plays another program";
    // Reactivated, the live instance starts from silence as a fresh one does.
    live.component()->setActive(false);
    live.component()->setActive(true);
    EXPECT_TRUE(PlayNote(live, {{kProgramChange, 0.5}}) == expected) << "the live instance plays another program";
}

TEST(HostOrder, AControllersParameterFollowsThePatchParameterItShowsSoARecreatedInstancePlaysWhatTheHostSet)
{
    // The pressure synth's Volume (id 5, 0-10 V) answers to controller 7
    // (id 10007). The host sets Volume on the controller and in a block, or
    // on the controller alone; its copy of controller 7 follows, so
    // re-created as pedalboard does (state, new instance, the copy written
    // back) the instance plays Volume 5 V as one that had it set directly.
    constexpr ParamID kVolume = 5;
    constexpr ParamID kController7 = 10007;
    for (const bool inBlock : {true, false})
    {
        SCOPED_TRACE(inBlock ? "set in a block too" : "set on the controller alone");
        Plugin first(KV_PRESSURE_SYNTH_BUNDLE, "pedalboard");
        ASSERT_TRUE(first.instance);
        first.controller()->setParamNormalized(kVolume, 0.5);
        first.host.copy[kVolume] = 0.5;
        if (inBlock)
            first.Block(kBlock, {{kVolume, 0.5}});
        EXPECT_NEAR(first.controller()->getParamNormalized(kController7), 0.5, 1e-6);
        EXPECT_NEAR(first.host.copy[kController7], 0.5, 1e-6) << "the host's copy of controller 7";

        Plugin recreated(KV_PRESSURE_SYNTH_BUNDLE, "pedalboard");
        recreated.Restore(first.ProcessorState(), first.ControllerState());
        const std::vector<Change> written = WriteBack(first.host.copy, recreated);
        Plugin direct(KV_PRESSURE_SYNTH_BUNDLE, "pedalboard");
        direct.controller()->setParamNormalized(kVolume, 0.5);
        EXPECT_TRUE(PlayNote(recreated, written) == PlayNote(direct, {{kVolume, 0.5}}))
            << written.size() << " values written back";
        EXPECT_NEAR(recreated.controller()->getParamNormalized(kVolume), 0.5, 1e-6);
    }
}

TEST(HostOrder, AStateTakenWhileBlocksStoppedOnAnotherThreadHoldsWhatTheHostSetSinceInItsOrder)
{
    // Blocks on a second thread, the instance left processing (pluginval,
    // offline tools); then on this thread a value, a program chosen after
    // it (which replaces it) and a value after the program. The state taken
    // with no block names the program with the value set after it, and a
    // new instance given it reads what this one reads.
    Plugin live(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard");
    ASSERT_TRUE(live.instance);
    std::thread([&] {
        for (int n = 0; n < 4; ++n)
            live.Block(kBlock);
    }).join();
    live.controller()->setParamNormalized(1, 0.37);
    live.controller()->setParamNormalized(kProgramChange, 1.0);
    live.controller()->setParamNormalized(2, 0.61);
    const std::vector<char> state = live.ProcessorState();
    Plugin restored(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard");
    restored.Restore(state, live.ControllerState());
    const std::array<double, 4> expected = {kProgramValues[2][0], kProgramValues[2][1], 0.61, kProgramValues[2][3]};
    for (std::size_t id = 0; id < 4; ++id)
    {
        EXPECT_NEAR(live.controller()->getParamNormalized(static_cast<ParamID>(id)), expected[id], 1e-6) << id;
        EXPECT_NEAR(restored.controller()->getParamNormalized(static_cast<ParamID>(id)), expected[id], 1e-6) << id;
    }
    EXPECT_NEAR(restored.controller()->getParamNormalized(kProgramChange), 1.0, 1e-9);
    // Program 0 kept the value set while it was chosen, here and in the engine.
    live.controller()->setParamNormalized(kProgramChange, 0.0);
    EXPECT_NEAR(live.controller()->getParamNormalized(1), 0.37, 1e-6);
    std::thread([&] { live.Block(kBlock, {{kProgramChange, 0.0}}); }).join();
    const std::vector<char> chunk = live.ProcessorState();
    const std::string saved(chunk.begin() + 4, chunk.end());
    EXPECT_NE(saved.find("val=\"3.7\""), std::string::npos) << saved;
}

TEST(HostOrder, AControllersParameterShowsABoundValueOfEveryTypeAsTheEngineMovesItSoWritingItBackChangesNothing)
{
    // The value-types bundle's Cutoff (float), Steps (int), Wave (a list
    // whose values are not its positions) and Gate (on/off) answer to
    // controllers 20 to 23. Each set by the host: the controller's
    // parameter and the host's copy of it follow, and the host writing that
    // back through process() leaves the state as it was.
    struct Case
    {
        ParamID id;
        int controller;
        double value;
    };
    for (const Case& c : {Case{0, 20, 0.3}, Case{2, 21, 100.0 / 127}, Case{3, 22, 0.0}, Case{3, 22, 1.0},
                          Case{4, 23, 1.0}})
    {
        SCOPED_TRACE("id " + std::to_string(c.id) + " at " + std::to_string(c.value));
        Plugin plugin(KV_VALUE_TYPES_BUNDLE, "pedalboard");
        ASSERT_TRUE(plugin.instance);
        const auto shown = static_cast<ParamID>(10000 + c.controller);
        const double before = plugin.controller()->getParamNormalized(shown);
        plugin.controller()->setParamNormalized(c.id, c.value);
        plugin.Block(kBlock, {{c.id, c.value}});
        const double read = plugin.controller()->getParamNormalized(shown);
        EXPECT_NE(read, before) << "the controller's parameter did not follow";
        EXPECT_EQ(plugin.host.copy[shown], read) << "the host's copy of the controller's parameter";
        const std::vector<char> state = plugin.ProcessorState();
        plugin.Block(kBlock, {{shown, read}});
        EXPECT_EQ(plugin.ProcessorState(), state) << "writing back what the host read moved the value";
    }
}

TEST(HostOrder, WhatAControllerMovesReachesTheHostWithItsBlockAndWhatTheHostSetNeverGoesBack)
{
    // The pressure synth's Volume (id 5) answers to controller 7: moved by
    // the controller's point, it is reported in that point's block. A value
    // the host sets itself (on the controller and in the block), or a
    // program it chooses, is no patch parameter's output change.
    const struct
    {
        const char* bundle;
        std::vector<Change> points;
        std::set<ParamID> reported;
    } cases[] = {
        {KV_PRESSURE_SYNTH_BUNDLE, {{10007, 1.0}}, {5}},
        {KV_PRESSURE_SYNTH_BUNDLE, {{10007, 0.3}, {10001, 1.0}}, {5}},
        {KV_PRESSURE_SYNTH_BUNDLE, {{5, 0.3}}, {}},
        {KV_VALUE_TYPES_BUNDLE, {{0, 0.3}, {2, 0.9}, {4, 1.0}}, {}},
        {KV_PROGRAM_SYNTH_BUNDLE, {{kProgramChange, 1.0}}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.bundle) + " id " + std::to_string(c.points.front().id));
        Plugin plugin(c.bundle, "pedalboard");
        ASSERT_TRUE(plugin.instance);
        plugin.Block(kBlock);
        for (const Change& point : c.points)
            if (point.id < 10000 || point.id == kProgramChange)
                plugin.controller()->setParamNormalized(point.id, point.value);
        Values reported;
        plugin.Block(kBlock, c.points, false, &reported);
        std::set<ParamID> patch;
        for (const auto& [id, value] : reported)
            if (id < 10000)
                patch.insert(id);
        EXPECT_EQ(patch, c.reported);
    }
}

TEST(HostOrder, WhatABlockBroughtThatTheControllerHearsOfAfterTheHostsNextValueNeverUndoesIt)
{
    // A host sends program 2 and a controller move only through a block
    // (the controller hears of them from the processor's batch, which
    // waits), then sets Tone and Volume on the controller: the host's
    // values stay, in the controller, the host's copy, the state and the sound.
    for (const char* bundle : {KV_PROGRAM_SYNTH_BUNDLE, KV_PRESSURE_SYNTH_BUNDLE})
    {
        SCOPED_TRACE(bundle);
        const bool programs = bundle == std::string(KV_PROGRAM_SYNTH_BUNDLE);
        const ParamID id = programs ? 1 : 5;
        Plugin live(bundle, "pedalboard", false), direct(bundle, "pedalboard", false);
        live.Block(kBlock, {programs ? Change{kProgramChange, 1.0} : Change{10007, 1.0}});
        live.controller()->setParamNormalized(id, 0.1);
        live.host.Reread();
        EXPECT_NEAR(live.controller()->getParamNormalized(id), 0.1, 1e-9);
        EXPECT_NEAR(live.host.copy[id], 0.1, 1e-9);
        if (programs)
        {
            EXPECT_NEAR(live.controller()->getParamNormalized(2), kProgramValues[2][2], 1e-6);
        }
        direct.Restore(live.ProcessorState(), live.ControllerState());
        EXPECT_NEAR(direct.controller()->getParamNormalized(id), 0.1, 1e-6);
    }
}

TEST(HostOrder, ValuesSetBeforeAProgramChoiceStayInTheirProgramWhereverTheBlockListsThem)
{
    // As JUCE's cache sends them, by id: Wave (set after the choice) comes
    // before Tone (set before it) in the block that carries the choice.
    Plugin live(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard", false);
    const auto Text = [](const std::vector<char>& state) { return std::string(state.begin() + 4, state.end()); };
    live.controller()->setParamNormalized(1, 0.77);
    live.controller()->setParamNormalized(kProgramChange, 1.0);
    live.controller()->setParamNormalized(0, 1.0 / 6);
    live.Block(kBlock, {{0, 1.0 / 6}, {1, 0.77}, {kProgramChange, 1.0}});
    const std::string inTwo = Text(live.ProcessorState());
    live.controller()->setParamNormalized(kProgramChange, 0.0);
    live.Block(kBlock, {{kProgramChange, 0.0}});
    const std::string inZero = Text(live.ProcessorState());
    EXPECT_NE(inTwo.find("<Param id=\"100\" index=\"0\" val=\"1\" />"), std::string::npos) << inTwo;
    EXPECT_NE(inTwo.find("<Param id=\"101\" index=\"1\" val=\"9\" />"), std::string::npos) << inTwo;
    EXPECT_NE(inZero.find("<Param id=\"101\" index=\"1\" val=\"7.7\" />"), std::string::npos) << inZero;
}

TEST(HostOrder, AnEditMadeInAProgramBeforeAStateIsSetStaysInThatProgram)
{
    // Tone set in program 2 on the controller alone, then a state of
    // program 0 set before any block: program 2 chosen again shows, saves
    // and plays the edit.
    Plugin live(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard", false), direct(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard", false);
    const std::vector<char> atZero = live.ProcessorState(), own = live.ControllerState();
    live.controller()->setParamNormalized(kProgramChange, 1.0);
    live.Block(kBlock, {{kProgramChange, 1.0}});
    live.controller()->setParamNormalized(1, 0.33);
    live.Restore(atZero, own);
    live.controller()->setParamNormalized(kProgramChange, 1.0);
    live.component()->setActive(false);
    live.component()->setActive(true);
    const std::vector<float> played = PlayNote(live, {{kProgramChange, 1.0}});
    EXPECT_NEAR(live.controller()->getParamNormalized(1), 0.33, 1e-9);
    const std::vector<char> state = live.ProcessorState();
    EXPECT_NE(std::string(state.begin(), state.end()).find("<Param id=\"101\" index=\"1\" val=\"3.3\" />"),
              std::string::npos);
    direct.controller()->setParamNormalized(kProgramChange, 1.0);
    direct.controller()->setParamNormalized(1, 0.33);
    EXPECT_TRUE(played == PlayNote(direct, {{kProgramChange, 1.0}, {1, 0.33}}));
}

TEST(HostOrder, AProgramChosenOnTheControllerOnAnotherThreadPlaysFromTheNextBlock)
{
    // As Qtractor chooses a program: on a worker, told to the controller
    // only, with nothing served on the user-interface thread since.
    Plugin live(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard", false), direct(KV_PROGRAM_SYNTH_BUNDLE, "pedalboard", false);
    std::thread([&] { live.controller()->setParamNormalized(kProgramChange, 1.0); }).join();
    direct.controller()->setParamNormalized(kProgramChange, 1.0);
    EXPECT_TRUE(PlayNote(live, {}) == PlayNote(direct, {{kProgramChange, 1.0}}));
    const std::vector<char> state = live.ProcessorState();
    EXPECT_NE(std::string(state.begin(), state.end()).find("program=\"2\""), std::string::npos);
}
