// Graphics-API modules of an external module bundle in a plug-in's editor,
// in a real X11 window: drawn with their title bar and bitmaps, and driven
// through the X server: the pointer module's menu, its context menu and its
// text box. The modules write what happens to a log file named by
// KV_GMPI_TEST_LOG.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../editor_x11/EditorSession.h"
#include "../editor_x11/GlibHost.h"
#include "ModuleLog.h"

using namespace x11_test;

namespace
{
const std::string kGmpiBundle = KV_GMPI_TEST_BUNDLE;

// Places of the bundle's modules (gui.kv.xml).
constexpr int kDrawLeft = 10, kDrawTop = 10;
constexpr int kPointerLeft = 130, kPointerTop = 10, kTitle = 20;
constexpr int kBitmapLeft = 10, kBitmapTop = 100;

// A press on the empty canvas: ends a menu or text box that missed its keys
// (a loaded machine), so that the test fails instead of waiting for ever.
constexpr int kEmptyX = 235, kEmptyY = 155;

bool Near(std::uint32_t pixel, std::uint32_t rgb)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int((pixel >> shift) & 0xff) - int((rgb >> shift) & 0xff)) > 3)
            return false;
    return true;
}
} // namespace

TEST(GmpiGuiWindow, ModulesDrawWithTheirTitleBarAndBitmaps)
{
    ModuleLog log;
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kGmpiBundle);
    EXPECT_TRUE(log.has("bitmaps 0 0")) << log.text();
    EXPECT_TRUE(log.has("arrange 100x60")) << log.text(); // the pointer module, 20 under its title

    const WindowImage image = session.capture();
    ASSERT_EQ(image.width, 240);
    EXPECT_TRUE(Near(image.at(kDrawLeft + 60, kDrawTop + 50), 0x3f3f3f));
    EXPECT_TRUE(Near(image.at(kDrawLeft + 81, kDrawTop + 41), 0xff00ff));
    EXPECT_TRUE(Near(image.at(kPointerLeft + 50, kPointerTop + kTitle + 10), 0x007fff));
    int bright = 0;
    for (int y = kPointerTop; y < kPointerTop + kTitle; ++y)
        for (int x = kPointerLeft; x < kPointerLeft + 100; ++x)
            bright += (image.at(x, y) & 0xff) > 128;
    EXPECT_GT(bright, 10); // the title
    for (int left : {0, 12})
    {
        EXPECT_TRUE(Near(image.at(kBitmapLeft + left + 1, kBitmapTop + 2), 0xff0000));
        EXPECT_TRUE(Near(image.at(kBitmapLeft + left + 6, kBitmapTop + 2), 0x00ff00));
    }
}

TEST(GmpiGuiWindow, PointerPressesReachTheModuleAndItsMenusAndTextBoxWork)
{
    ModuleLog log;
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kGmpiBundle);
    std::string error;
    const int x = kPointerLeft + 12;
    const int y = kPointerTop + kTitle + 7;
    // Left: the module's own menu (First, "", Third) at the press; the third entry by keys.
    ASSERT_TRUE(session.window->play({EditorAction::click(x, y, 1), EditorAction::key("Down"),
                                      EditorAction::key("Down"), EditorAction::key("Return"),
                                      EditorAction::click(kEmptyX, kEmptyY)},
                                     error))
        << error;
    EXPECT_TRUE(log.has("down 9237 12,7")) << log.text();
    EXPECT_TRUE(log.has("menu 0 2")) << log.text();

    // Right, not handled by the module: the host's context menu; Beta chosen.
    ASSERT_TRUE(session.window->play(
        {EditorAction::click(x, y, 3), EditorAction::key("Down"), EditorAction::key("Return"),
         EditorAction::click(kEmptyX, kEmptyY)},
        error))
        << error;
    EXPECT_TRUE(log.has("down 9253 12,7")) << log.text();
    EXPECT_TRUE(log.has("context 20")) << log.text();

    // Escape on the context menu chooses nothing.
    ASSERT_TRUE(session.window->play(
        {EditorAction::click(x, y, 3), EditorAction::key("Escape"), EditorAction::click(kEmptyX, kEmptyY)}, error))
        << error;
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "context 20"), 1) << log.text();

    // Middle: the text box over the module's top, its text replaced by typing.
    ASSERT_TRUE(session.window->play(
        {EditorAction::click(x, y, 2), EditorAction::type("Zürich"), EditorAction::key("Return"),
         EditorAction::click(kEmptyX, kEmptyY)},
        error))
        << error;
    EXPECT_TRUE(log.has("down 9221 12,7")) << log.text();
    EXPECT_TRUE(log.has("text 0 0 Zürich")) << log.text();
}

// A module's menu answers when its call returns; in a host whose UI thread
// runs GLib's loop, that loop turns meanwhile: the host's timer keeps
// running, it may set parameters and restore a state meanwhile, and it may
// close the editor from it, which ends the menu unchosen and leaves no window.
TEST(GmpiGuiWindow, AModulesMenuLetsTheHostsGlibLoopRunAndTheHostCloseTheEditorMeanwhile)
{
    ModuleLog log;
    GlibHost host;
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(host, kGmpiBundle);
    auto& input = *host.input;
    const int x = kPointerLeft + 12;
    const int y = kPointerTop + kTitle + 7;
    const auto open = [&host] { return host.menuOpen(); };
    const auto shown = [&host] { return host.menuShown(); };
    double seconds = 0, afterSeconds = 0;
    bool restored = false;
    std::string failed;
    host.steps.run({host.shown(),
                    {"", [] { return true; }, [&] { input.click(x, y, 1); }},
                    host.steps.startCounting("the module's menu shows", shown),
                    host.steps.count("the host's timer ticks while the module's menu is open", GlibHost::kOpenTicks,
                                     seconds),
                    {"the module's menu stays open", open,
                     [&] {
                         host.session.instance->controller()->setParamNormalized(0, 0.25);
                         std::vector<char> state;
                         std::string why;
                         restored = host.session.instance->saveState(state, why) &&
                                    host.session.instance->loadState(state, why);
                         input.key("Down");
                         input.key("Down");
                         input.key("Return");
                     }},
                    {"the module takes the third entry", [&] { return !open() && log.has("menu 0 2"); },
                     [&] { input.click(x, y, 1); }},
                    {"the module's menu shows again", shown, [&] { host.session.window->close(); }},
                    host.steps.startCounting("", [] { return true; }),
                    host.steps.count("the loop goes on after the close", 5, afterSeconds)},
                   failed);
    EXPECT_TRUE(failed.empty()) << failed << "\n" << log.text();
    EXPECT_LE(seconds, GlibHost::kMostOpenSeconds);
    EXPECT_TRUE(restored);
    EXPECT_TRUE(log.has("menu 0 -1")) << log.text();
    EXPECT_EQ(host.loop.sourceCount(), 0u);
    EXPECT_TRUE(OverrideRedirectWindows(host.user).empty());
    EXPECT_EQ(ViewableTopLevels(host.user), 0);
}

TEST(GmpiGuiWindow, ATooltipShowsWhileThePointerRestsOnItsModuleAndGoesOnLeavingAndOnAPress)
{
    ModuleLog log;
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kGmpiBundle);
    const int x = kPointerLeft + 50, y = kPointerTop + kTitle + 30;
    auto tooltips = [](Display* display) { return OverrideRedirectWindows(display); };
    ScreenWindow tip;
    WindowImage shown;
    int pointerY = 0;
    std::string error;
    ASSERT_TRUE(ActWhileServing(session,
                                [&](ScreenUser& user, std::string& why) {
                                    // Resting on the module ("Pointer test").
                                    user.window.move(x, y);
                                    if (!WaitUntil([&] { return !tooltips(user.display).empty(); }))
                                    {
                                        why = "no tooltip while the pointer rests";
                                        return false;
                                    }
                                    tip = tooltips(user.display).front();
                                    Window root = 0, child = 0;
                                    int rootX = 0, winX = 0, winY = 0;
                                    unsigned mask = 0;
                                    XQueryPointer(user.display, DefaultRootWindow(user.display), &root, &child,
                                                  &rootX, &pointerY, &winX, &winY, &mask);
                                    if (!CaptureWindow(user.display, tip.id, shown, why))
                                        return false;
                                    // Leaving the editor's window puts it away.
                                    user.window.move(400, 400);
                                    if (!WaitUntil([&] { return tooltips(user.display).empty(); }))
                                    {
                                        why = "the tooltip stayed after the pointer left";
                                        return false;
                                    }
                                    // Back and resting: again; a press puts it away (and opens
                                    // the module's menu, which Escape closes).
                                    user.window.move(x, y);
                                    if (!WaitUntil([&] { return !tooltips(user.display).empty(); }))
                                    {
                                        why = "no tooltip on the second rest";
                                        return false;
                                    }
                                    const unsigned long again = tooltips(user.display).front().id;
                                    user.window.click(x, y);
                                    WaitUntil([&] {
                                        const auto now = tooltips(user.display);
                                        return !now.empty() && now.front().id != again;
                                    });
                                    const bool gone = WaitUntil([&] {
                                        for (const ScreenWindow& w : tooltips(user.display))
                                            if (w.id == again)
                                                return false;
                                        return true;
                                    });
                                    // The menu ends on Escape once it holds the keyboard, else on a
                                    // press outside it.
                                    for (int i = 0; i < 20 && !tooltips(user.display).empty(); ++i)
                                    {
                                        user.window.key("Escape");
                                        if (!WaitUntil([&] { return tooltips(user.display).empty(); }, 0.5))
                                            user.window.click(kEmptyX, kEmptyY);
                                        WaitUntil([&] { return tooltips(user.display).empty(); }, 0.5);
                                    }
                                    if (!gone)
                                        why = "the tooltip stayed after a press";
                                    return gone;
                                },
                                error))
        << error;
    // Below the pointer, with its text drawn on its back.
    EXPECT_GT(tip.y, pointerY);
    EXPECT_GT(tip.width, 20);
    int dark = 0;
    for (std::uint32_t pixel : shown.pixels)
        dark += (pixel & 0xff) < 100 && ((pixel >> 8) & 0xff) < 100;
    EXPECT_GT(dark, 10);
}
