// What is open in the editor when the host ends it, in a real window, in a
// host whose UI thread runs GLib's loop: a module's text box, menu and
// context menu (KvGmpiTest), and the built-in text entry, list and popup
// menu (KvOutsider), each with keys typed into it but not confirmed. The
// host closes the editor, or hides its window as Ardour does: the widget's
// window goes, the module is told nothing, and no parameter or state
// changes. And two instances' editors each open a module's widget at once.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../editor_x11/EditorSession.h"
#include "../editor_x11/GlibHost.h"
#include "ModuleLog.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kGmpiBundle = KV_GMPI_TEST_BUNDLE;
const std::string kOutsiderBundle = KV_OUTSIDER_BUNDLE;

// KvGmpiTest's pointer module under its title bar; KvOutsider's text entry,
// list and popup menu (their gui.kv.xml).
constexpr int kPointerX = 142, kPointerY = 37;
constexpr int kNameX = 225, kNameY = 112;
constexpr int kWaveX = 225, kWaveY = 45;
constexpr int kMenuX = 395, kMenuY = 21;

struct Widget
{
    const char* what;
    const std::string& bundle;
    int x, y, button;
    // A text box takes the keyboard; a menu or list is a window of its own.
    bool textBox;
    // Typed into a text box, or the name of a key pressed on a menu.
    const char* keys;
    // What the module must log, and the start of what it must not.
    const char* logged;
    const char* notLogged;
};

const Widget kWidgets[] = {
    {"a module's text box", kGmpiBundle, kPointerX, kPointerY, 2, true, "typed-not-confirmed", "", "text"},
    {"a module's menu", kGmpiBundle, kPointerX, kPointerY, 1, false, "Down", "menu 0 -1", ""},
    {"a module's context menu", kGmpiBundle, kPointerX, kPointerY, 3, false, "Down", "", "context"},
    {"the built-in text entry", kOutsiderBundle, kNameX, kNameY, 1, true, "typed-not-confirmed", "", ""},
    {"the built-in list", kOutsiderBundle, kWaveX, kWaveY, 1, false, "Down", "", ""},
    {"the built-in popup menu", kOutsiderBundle, kMenuX, kMenuY, 1, false, "Down", "", ""},
};

enum class End
{
    kClose,
    kHide,
};

// The processor's state once it has played a moment, taking what the
// editor sent it.
std::vector<char> PlayedState(PluginInstance& instance)
{
    Performance nothing;
    RenderSettings settings;
    settings.seconds = 0.1;
    Renderer renderer(instance);
    RenderResult result;
    std::vector<char> state;
    std::string error;
    if (!renderer.render(nothing, settings, nullptr, result, error) || !instance.saveState(state, error))
        ADD_FAILURE() << error;
    return state;
}

bool WindowExists(Display* display, unsigned long window)
{
    XSync(display, False);
    const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XWindowAttributes attributes{};
    const bool there = XGetWindowAttributes(display, window, &attributes) != 0;
    XSync(display, False);
    XSetErrorHandler(previous);
    return there;
}

// Opens the widget in a fresh editor, types into it, ends it the host's way
// (closing the editor, or hiding its window and then closing it).
void EndWhileOpen(const Widget& w, End end)
{
    ModuleLog log;
    GlibHost host;
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(host, w.bundle);
    auto& input = *host.input;
    std::vector<char> before;
    unsigned long focusBefore = 0;
    unsigned long widget = 0;
    WindowImage opened;
    double afterSeconds = 0;
    const auto always = [] { return true; };
    const auto closeEditor = [&host] { host.session.window->close(); };
    std::string failed;
    std::vector<GlibSteps::Step> steps = {
        host.shown(),
        {"", always,
         [&] {
             before = PlayedState(*host.session.instance);
             host.session.instance->componentHandler().takeEdits();
             focusBefore = host.focus();
             input.click(w.x, w.y, w.button);
         }},
        {std::string(w.what) + " opens",
         [&] {
             if (w.textBox)
                 widget = host.focus() != focusBefore && host.focus() > PointerRoot ? host.focus() : 0;
             else
             {
                 const auto menus = OverrideRedirectWindows(host.user);
                 widget = menus.empty() ? 0 : menus.front().id;
             }
             return widget != 0 && Painted(host.user, widget, opened);
         },
         [&] {
             if (w.textBox)
                 input.type(w.keys);
             else
                 input.key(w.keys);
         }},
        {std::string(w.what) + " takes the keys",
         [&] {
             WindowImage now;
             return Painted(host.user, widget, now) && now.pixels != opened.pixels;
         },
         [&] {
             if (end == End::kClose)
                 host.session.window->close();
             else
             {
                 XUnmapWindow(host.user, host.session.window->window());
                 XSync(host.user, False);
             }
         }},
        {std::string(w.what) + "'s window goes", [&] { return !WindowExists(host.user, widget); },
         end == End::kHide ? std::function<void()>(closeEditor) : std::function<void()>()},
        host.steps.startCounting("", always),
        host.steps.count("the loop goes on after the close", 5, afterSeconds)};
    host.steps.run(steps, failed);
    EXPECT_TRUE(failed.empty()) << failed << "\n" << log.text();
    // Nothing is left, nothing was taken.
    EXPECT_EQ(host.loop.sourceCount(), 0u);
    EXPECT_TRUE(OverrideRedirectWindows(host.user).empty());
    EXPECT_EQ(ViewableTopLevels(host.user), 0);
    if (*w.logged)
    {
        EXPECT_TRUE(log.has(w.logged)) << log.text();
    }
    if (*w.notLogged)
    {
        EXPECT_FALSE(log.hasStart(w.notLogged)) << log.text();
    }
    EXPECT_TRUE(host.session.instance->componentHandler().takeEdits().empty());
    EXPECT_TRUE(PlayedState(*host.session.instance) == before) << "the state changed";
}
} // namespace

TEST(EndedWidgetsWindow, WhatIsOpenWhenTheHostClosesTheEditorEndsCancelled)
{
    for (const Widget& w : kWidgets)
    {
        SCOPED_TRACE(w.what);
        EndWhileOpen(w, End::kClose);
    }
}

TEST(EndedWidgetsWindow, WhatIsOpenWhenTheHostHidesTheEditorsWindowGoesCancelled)
{
    for (const Widget& w : kWidgets)
    {
        SCOPED_TRACE(w.what);
        EndWhileOpen(w, End::kHide);
    }
}

// Each editor on an X server of its own: a widget that holds the pointer
// would otherwise end at the press that opens the other's.
TEST(EndedWidgetsWindow, TwoEditorsEachOpenAModulesWidgetAtOnce)
{
    ModuleLog log;
    GlibHost first;
    GlibHost second;
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(first, kGmpiBundle);
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(second, kGmpiBundle);
    unsigned long before = 0;
    const auto always = [] { return true; };
    std::string failed;
    // The text box first: a menu refused leaves no loop of its own running,
    // so a failing test ends in time.
    first.steps.run(
        {first.shown(), second.shown(),
         {"", always,
          [&] {
              before = second.focus();
              second.input->click(kPointerX, kPointerY, 2);
          }},
         {"the second editor's module text box opens",
          [&] { return second.focus() != before && second.focus() > PointerRoot; },
          [&] { first.input->click(kPointerX, kPointerY, 1); }},
         {"the first editor's module menu opens while the text box is open",
          [&] { return first.menuOpen() && second.focus() != before; },
          [&] {
              second.input->type("second");
              second.input->key("Return");
          }},
         {"the second module takes its text while the menu is open",
          [&] { return log.has("text 0 0 second") && first.menuOpen(); },
          [&] {
              first.input->key("Down");
              first.input->key("Down");
              first.input->key("Return");
          }},
         {"the first module takes the third entry", [&] { return log.has("menu 0 2") && !first.menuOpen(); }, {}}},
        failed);
    EXPECT_TRUE(failed.empty()) << failed << "\n" << log.text();
    EXPECT_FALSE(log.hasStart("text -1")) << log.text();
    EXPECT_FALSE(log.hasStart("menu -1")) << log.text();
    first.session.window->close();
    second.session.window->close();
}
