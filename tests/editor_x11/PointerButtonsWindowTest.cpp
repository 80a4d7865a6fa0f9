// The buttons the editor believes held follow the pointer's real ones: a
// release that went to the text box's window (the press opened the box, the
// release came after) leaves nothing held, so a right click still opens the
// knob's menu and a move with no button held drags nothing.

#include <gtest/gtest.h>

#include "EditorSession.h"

using namespace x11_test;

namespace
{
const std::string kOutsiderBundle = KV_OUTSIDER_BUNDLE;

// KvOutsider's knob on "Level" and its text entry's box (gui.kv.xml).
constexpr int kKnobX = 44, kKnobY = 74;
constexpr int kNameX = 225, kNameY = 112;
constexpr Steinberg::Vst::ParamID kLevel = 0;

unsigned long Focus(Display* display)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}
} // namespace

TEST(PointerButtonsWindow, AReleaseTheTextBoxTookLeavesNoButtonHeld)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kOutsiderBundle);
    session.instance->componentHandler().takeEdits();
    const double level = session.param(kLevel);

    std::string error;
    const bool acted = ActWhileServing(
        session,
        [](ScreenUser& u, std::string& why) {
            const unsigned long before = Focus(u.display);
            // Pressed on the entry, released once its box holds the keyboard.
            if (!u.window.move(kNameX, kNameY) || !u.window.press(1))
                return why = "no press", false;
            unsigned long box = 0;
            if (!WaitUntil([&] { return (box = Focus(u.display)) != before && box > PointerRoot; }))
                return why = "the text box did not open", false;
            if (!u.window.release(1) || !u.window.key("Return"))
                return why = "no release or Return", false;
            if (!WaitUntil([&] { return Focus(u.display) != box; }))
                return why = "the text box did not close", false;
            // A right click on the knob opens its (empty) menu.
            if (!u.window.click(kKnobX, kKnobY, 3))
                return why = "no right click", false;
            if (!WaitUntil([&] { return MenuShown(u.display); }))
                return why = "the knob's menu did not open", false;
            if (!u.window.key("Escape") ||
                !WaitUntil([&] { return OverrideRedirectWindows(u.display).empty(); }))
                return why = "the knob's menu did not close", false;
            // Moves over the knob with no button held.
            for (int step = 0; step <= 8; ++step)
                if (!u.window.move(kKnobX, kKnobY - 5 * step))
                    return why = "no move", false;
            return true;
        },
        error);
    ASSERT_TRUE(acted) << error;
    session.window->settle();
    EXPECT_TRUE(session.instance->componentHandler().takeEdits().empty());
    EXPECT_DOUBLE_EQ(session.param(kLevel), level);
    session.window->close();
}
