// A host that behaves as Ardour 7.3 chooses the three-program bundle's
// programs (tests/patches/KvProgramSynth) with a window shown: the plug-in's
// editor in a real window, or the host's own generic window. Ardour holds
// its lock (not recursive) around a program choice, and restartComponent
// takes it too; on the restart it rereads every value into its copy and
// sends the changed ones to the processor; performEdit and the processor's
// output changes overwrite its copy and mark the value; while a window is
// shown its timer writes every marked value back with setParamNormalized.

#include <gtest/gtest.h>

#include <cmath>

#include "EditorSession.h"
#include "tests/shell/HostModel.h"

using namespace host_model;
using namespace x11_test;

namespace
{
constexpr ParamID kProgramChange = 10130;

// Wave, Tone, Level and Steps (host ids 0-3) as the controller or a copy
// holds them, to six places.
template <typename Read>
std::vector<double> Read4(Read read)
{
    std::vector<double> values;
    for (ParamID id = 0; id < 4; ++id)
        values.push_back(std::round(read(id) * 1e6) / 1e6);
    return values;
}
} // namespace

TEST(ArdourProgramWindow, ProgramsChosenWithAWindowShownEachGiveTheirValuesAndSoundAndStayTheirOwn)
{
    for (const bool editor : {true, false})
    {
        SCOPED_TRACE(editor ? "the plug-in's editor shown" : "the host's generic window shown");
        // Ardour 7.3 offers no run loop. The reference plays each program chosen alone.
        Plugin ardour(KV_PROGRAM_SYNTH_BUNDLE, "Ardour", false);
        Plugin reference(KV_PROGRAM_SYNTH_BUNDLE, "Ardour", false);
        ASSERT_TRUE(ardour.instance && reference.instance);
        ModelHost& host = ardour.host;
        EditorSession session;
        KV_CONNECT_OR_SKIP(session);
        std::string error;
        if (editor)
        {
            ASSERT_TRUE(session.window->open(ardour.controller(), error)) << error;
            session.window->settle();
        }
        std::vector<double> values[3], sound(3);
        std::vector<char> state[3];
        for (std::size_t p = 0; p < 3; ++p)
        {
            reference.Block(256, {{kProgramChange, p / 2.0}});
            reference.Block(256);
            sound[p] = Rms(reference.Block(4096));
            state[p] = reference.ProcessorState();
            values[p] = Read4([&](ParamID id) { return reference.controller()->getParamNormalized(id); });
        }
        ASSERT_TRUE(values[0] != values[1] && values[1] != values[2] && values[2] != values[0]);
        // The restart reaches the host when the editor's timer fires, or
        // when the generic window next asks for a value's text.
        const auto hearRestart = [&] {
            const int before = host.rereads;
            if (editor)
                return session.serveUntil([&] { return host.rereads > before; });
            String128 text{};
            host.controller->getParamStringByValue(0, host.copy[0], text);
            return host.rereads > before;
        };
        // load_preset of a factory program: under the lock, the program
        // parameter on the controller and queued for the processor.
        const auto choose = [&](int program) {
            host.Load([&] { return host.controller->setParamNormalized(kProgramChange, program / 2.0); });
            host.pending[kProgramChange] = program / 2.0;
        };
        // The program and what waits, in one block; what it reports marks
        // the copy (not the controls) and waits for the timer.
        const auto play = [&] {
            std::vector<Change> pending;
            for (const auto& [id, value] : host.pending)
                pending.push_back({id, value});
            host.pending.clear();
            Values reported;
            ardour.Block(256, pending, false, &reported);
            for (const auto& [id, value] : reported)
                host.copy[id] = value, host.marks.insert(id);
        };
        int choice = 0;
        for (const int program : {1, 2, 0, 1, 2, 0})
        {
            SCOPED_TRACE("program " + std::to_string(program));
            const auto p = static_cast<std::size_t>(program);
            // Ardour's next cycle comes before the restart reaches it, or after.
            const bool blockFirst = choice++ % 2 != 0;
            choose(program);
            // The window's timer fires before the restart comes: it writes
            // back what the block of the choice before reported.
            host.WriteBack();
            if (blockFirst)
                play();
            ASSERT_TRUE(hearRestart()) << "no restart";
            host.WriteBack();
            if (!blockFirst)
                play();
            EXPECT_NEAR(Rms(ardour.Block(4096)), sound[p], sound[p] * 0.01) << "the sound";
            EXPECT_EQ(Read4([&](ParamID id) { return host.copy[id]; }), values[p]) << "the host's copy";
            EXPECT_EQ(Read4([&](ParamID id) { return host.shown[id]; }), values[p]) << "the host's controls";
            EXPECT_EQ(Read4([&](ParamID id) { return ardour.controller()->getParamNormalized(id); }), values[p]);
        }
        if (editor)
            session.window->close();

        // Afterwards each program holds its own values, in the processor and
        // in the controller.
        for (const int program : {1, 2, 0})
        {
            SCOPED_TRACE("afterwards, program " + std::to_string(program));
            const auto p = static_cast<std::size_t>(program);
            ardour.Block(256, {{kProgramChange, program / 2.0}});
            EXPECT_TRUE(ardour.ProcessorState() == state[p]) << "the processor's state";
            choose(program);
            EXPECT_EQ(Read4([&](ParamID id) { return ardour.controller()->getParamNormalized(id); }), values[p]);
        }
    }
}
