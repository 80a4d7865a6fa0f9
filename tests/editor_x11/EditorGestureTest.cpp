// The editor's edits reach the host as gestures: beginEdit, the edits,
// endEdit, for each parameter. The pointer held from press to release makes
// one gesture of each parameter it edits, else each edit is one. Edits that
// wait for the host (made inside a call of a host that holds its lock
// there) keep that order, and one a newer value overtakes is dropped. The
// three-program bundle (tests/patches/KvProgramSynth): Tone and Level,
// handles 101 and 102, host ids 1 and 2.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "EditorSession.h"
#include "core/ParameterFieldType.h"
#include "shell/ADelayController.h"
#include "shell/KvHostCalls.h"
#include "shell/MyVstPluginFactory.h"

using namespace Steinberg;
using namespace x11_test;

namespace
{
const std::string kProgramBundle = KV_PROGRAM_SYNTH_BUNDLE;

// The handler calls as text: "b1 e1=0.2 x1", or their kinds alone: "bex".
std::string Calls(HostComponentHandler& handler, bool values = true)
{
    std::string text;
    for (const auto& call : handler.takeCalls())
    {
        char value[16];
        std::snprintf(value, sizeof(value), "=%.1f", call.value);
        text += values ? " " + std::string(1, call.kind) + std::to_string(call.id) + (call.kind == 'e' ? value : "")
                       : std::string(1, call.kind);
    }
    return values && !text.empty() ? text.substr(1) : text;
}
} // namespace

TEST(EditorGesture, EditsAreGesturesInOrderAlsoWhenTheyWaitAndANewerValueDropsAWaitingEdit)
{
    struct Case
    {
        const char* host;
        // Edits made inside a host call (an automator answering it, keys the
        // host forwards): for Ardour they wait until the call has returned.
        bool insideHostCall;
        const char* drag;
        const char* overtaken;
    };
    const Case cases[] = {
        {"Korvane kvhost", true, "b1 e1=0.2 b2 e2=0.9 e1=0.4 e1=0.6 x1 x2", "b1 e1=0.7 x1"},
        {"Ardour", false, "b1 e1=0.2 b2 e2=0.9 e1=0.4 e1=0.6 x1 x2", "b1 e1=0.7 x1"},
        {"Ardour", true, "b1 e1=0.2 b2 e2=0.9 e1=0.6 x1 x2", "b1 x1"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.host) + (c.insideHostCall ? ", inside a host call" : ""));
        MyVstPluginFactory factory(BundleInfo::FromModulePath(kProgramBundle + "/Contents/x86_64-linux/KvProgramSynth.so"));
        KvHostApplication host;
        host.name = c.host;
        HostComponentHandler handler;
        IPtr<ADelayController> controller = owned(new ADelayController(&factory));
        ASSERT_EQ(controller->initialize(&host), kResultOk);
        controller->setComponentHandler(&handler);
        const auto edits = [&](const std::vector<std::pair<int, float>>& made, double automated = -1.0) {
            std::optional<KvHostCalls::Scope> call;
            if (c.insideHostCall)
                call.emplace();
            for (auto [handle, normalized] : made)
                controller->setParameterFromGui(handle, FT_NORMALIZED, sizeof(normalized), &normalized);
            // The host's automation sets the parameter before a waiting edit went.
            if (automated >= 0.0)
                controller->setParamNormalized(1, automated);
            call.reset();
            // The host's next call outside its own (the timer on its run loop).
            controller->FlushHostCalls();
        };
        // A drag over two parameters, from press to release: each gesture
        // begins with its first edit and ends at the release; edits of one
        // gesture that waited together go as the last of them.
        controller->PointerHeld(true);
        edits({{101, 0.2f}});
        edits({{102, 0.9f}, {101, 0.4f}, {101, 0.6f}});
        controller->PointerHeld(false);
        EXPECT_EQ(Calls(handler), c.drag);
        // Keys or a menu: no pointer held.
        edits({{102, 0.3f}});
        EXPECT_EQ(Calls(handler), "b2 e2=0.3 x2");
        edits({{101, 0.7f}}, 0.1);
        EXPECT_EQ(Calls(handler), c.overtaken);
        EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.1);
        controller->terminate();
    }
}

TEST(EditorGesture, AKnobDraggedInARealWindowIsOneGestureFromPressToRelease)
{
    // The "Tone" knob (host id 1) of the bundle's editor.
    constexpr int kToneX = 44, kToneY = 74;
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kProgramBundle);
    HostComponentHandler& handler = session.instance->componentHandler();
    handler.takeCalls();
    const double before = session.param(1);
    std::string error;
    const bool dragged = ActWhileServing(
        session,
        [](ScreenUser& u, std::string& why) {
            if (!u.window.move(kToneX, kToneY) || !u.window.press(1))
                return why = "no press", false;
            for (int step = 1; step <= 10; ++step)
                if (!u.window.move(kToneX, kToneY - 4 * step))
                    return why = "no move", false;
            return u.window.release(1) || (why = "no release", false);
        },
        error);
    ASSERT_TRUE(dragged) << error;
    // Served until the release has reached the host.
    ASSERT_TRUE(session.serveUntil([&] { return !handler.calls().empty() && handler.calls().back().kind == 'x'; }))
        << "no endEdit";
    const auto calls = handler.calls();
    const std::string drag = Calls(handler, false);
    ASSERT_GE(drag.size(), 4u) << drag;
    EXPECT_EQ(drag, "b" + std::string(drag.size() - 2, 'e') + "x");
    for (const auto& call : calls)
        EXPECT_EQ(call.id, 1u) << call.kind;
    EXPECT_NE(session.param(1), before);
    session.window->close();
}

TEST(EditorGesture, EditsWaitingForAnArdourHostAreDroppedWhenItChoosesAProgramOnTheController)
{
    // Ardour chooses program 2 under its lock, after edits of the editor that
    // wait for it: they were made in program 0, and the host hears their
    // gestures but none of their values, then program 2's values as edits
    // outside any gesture (its generic controls show them; Touch records none).
    MyVstPluginFactory factory(BundleInfo::FromModulePath(kProgramBundle + "/Contents/x86_64-linux/KvProgramSynth.so"));
    KvHostApplication host;
    host.name = "Ardour";
    HostComponentHandler handler;
    IPtr<ADelayController> controller = owned(new ADelayController(&factory));
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    controller->setComponentHandler(&handler);
    {
        const KvHostCalls::Scope call;
        for (auto [handle, normalized] : {std::pair{101, 0.2f}, {102, 0.3f}})
            controller->setParameterFromGui(handle, FT_NORMALIZED, sizeof(normalized), &normalized);
        ASSERT_EQ(controller->setParamNormalized(10130, 1.0), kResultOk);
    }
    controller->FlushHostCalls();
    EXPECT_EQ(Calls(handler), "b1 x1 b2 x2 e0=0.5 e1=0.9 e2=0.5 e3=1.0");
    // Program 2's tone and level.
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.9);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(2), 0.5);
    controller->terminate();
}
