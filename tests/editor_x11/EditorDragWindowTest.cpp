// A knob dragged in the editor's real window is one gesture for the host:
// beginEdit, the drag's edits, endEdit, in that order, on the thread that
// serves the window. Hosts start and end their automation touch on them. The three-program bundle
// (tests/patches/KvProgramSynth), its "Tone" knob (host id 1).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EditorSession.h"

using namespace x11_test;

namespace
{
const std::string kProgramBundle = KV_PROGRAM_SYNTH_BUNDLE;
constexpr int kToneX = 44, kToneY = 74;
constexpr Steinberg::Vst::ParamID kTone = 1;

// The calls as "b", "e" and "x" of the knob's parameter; '?' for any other.
std::string Kinds(const std::vector<HostComponentHandler::Call>& calls)
{
    std::string kinds;
    for (const auto& call : calls)
        kinds += call.id == kTone ? call.kind : '?';
    return kinds;
}
} // namespace

TEST(EditorDragWindow, ADragOfAKnobIsOneGestureFromPressToRelease)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kProgramBundle);
    HostComponentHandler& handler = session.instance->componentHandler();
    handler.takeCalls();
    const double before = session.param(kTone);

    std::string error;
    const bool dragged = ActWhileServing(
        session,
        [](ScreenUser& u, std::string& why) {
            if (!u.window.move(kToneX, kToneY) || !u.window.press(1))
                return why = "no press", false;
            for (int step = 1; step <= 10; ++step)
                if (!u.window.move(kToneX, kToneY - 4 * step))
                    return why = "no move", false;
            if (!u.window.release(1))
                return why = "no release", false;
            return true;
        },
        error);
    ASSERT_TRUE(dragged) << error;
    // Served until the release has reached the host.
    ASSERT_TRUE(session.serveUntil([&] {
        const auto& calls = handler.calls();
        return !calls.empty() && calls.back().kind == 'x';
    })) << "no endEdit";
    const std::string drag = Kinds(handler.takeCalls());
    ASSERT_GE(drag.size(), 4u) << drag;
    EXPECT_EQ(drag, "b" + std::string(drag.size() - 2, 'e') + "x");
    EXPECT_NE(session.param(kTone), before);

    session.window->close();
}
