// The preset menu's file dialog in a real window: while the desktop's dialog
// (a stand-in zenity that answers when told) is open, the host's loop keeps
// turning and the editor keeps repainting; the export and the import finish
// when the dialog answers, and the dialog program is reaped, also when the
// editor closes first.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "EditorSession.h"
#include "tests/TempFolder.h"

using namespace x11_test;
namespace fs = std::filesystem;

namespace
{
const std::string kDemoSynthBundle = KV_DEMO_SYNTH_BUNDLE;

// Where the demo's preset menu and volume knob are (gui.kv.xml).
constexpr int kMenuX = 426, kMenuY = 17;
constexpr int kKnob[4] = {410, 60, 458, 108};
constexpr Steinberg::Vst::ParamID kVolume = 5;

// A zenity first on PATH that notes its process id and prints the answer
// file's text once the file "go" appears.
struct HeldDialog
{
    HeldDialog()
    {
        dir = folder.path();
        const fs::path program = dir / "zenity";
        // Gives up after twenty seconds, so that a dialog that holds the
        // test's own thread fails the test instead of hanging it.
        std::ofstream(program) << "#!/bin/sh\necho $$ > '" << file("pid") << "'\nn=0\nwhile [ ! -e '" << file("go")
                               << "' ] && [ $n -lt 1000 ]; do /bin/sleep 0.02; n=$((n+1)); done\n/bin/rm -f '" << file("go") << "'\n/bin/cat '"
                               << file("answer") << "'\n";
        ::chmod(program.c_str(), 0755);
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (dir.string() + ":" + savedPath).c_str(), 1);
    }
    ~HeldDialog()
    {
        ::setenv("PATH", savedPath.c_str(), 1);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
    void answer(const std::string& text) const { std::ofstream(file("answer")) << text << "\n"; }
    void go() const { std::ofstream(file("go")) << "\n"; }
    pid_t pid() const
    {
        pid_t pid = 0;
        std::ifstream(file("pid")) >> pid;
        return pid;
    }

    kv_test::TempFolder folder{"x11-dialog"};
    fs::path dir;
    std::string savedPath;
};

// Serves the host's loop until `done` or ten seconds passed.
bool ServeUntil(EditorSession& session, const std::function<bool()>& done)
{
    return session.serveUntil(done);
}

int Differing(const WindowImage& a, const WindowImage& b, const int (&r)[4])
{
    int n = 0;
    for (int y = r[1]; y < r[3]; ++y)
        for (int x = r[0]; x < r[2]; ++x)
            n += a.at(x, y) != b.at(x, y);
    return n;
}
} // namespace

TEST(FileDialogWindow, TheEditorRepaintsWhileThePresetDialogIsOpenAndTheExportAndImportFinishAfter)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kDemoSynthBundle);
    HeldDialog dialog;
    Steinberg::Vst::IEditController* controller = session.instance->controller();
    controller->setParamNormalized(kVolume, 0.2);
    session.window->settle();

    // Export: the dialog stays open until told.
    const std::string preset = dialog.file("mine");
    dialog.answer(preset);
    std::string error;
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("Home"),
                              EditorAction::key("Return")},
                             error))
        << error;
    ASSERT_TRUE(ServeUntil(session, [&] { return dialog.pid() > 0; })) << "the dialog did not start";
    const pid_t exporting = dialog.pid();

    // Host automation meanwhile shows in the window.
    const WindowImage before = session.capture();
    controller->setParamNormalized(kVolume, 0.9);
    WindowImage during;
    EXPECT_TRUE(ServeUntil(session, [&] {
        during = session.capture();
        return Differing(before, during, kKnob) > 50;
    })) << "the editor did not repaint while the dialog was open";
    EXPECT_FALSE(fs::exists(preset + ".preset.xml"));

    dialog.go();
    ASSERT_TRUE(ServeUntil(session, [&] { return fs::exists(preset + ".preset.xml"); })) << "nothing was exported";
    EXPECT_EQ(::waitpid(exporting, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the dialog program was not reaped";

    // Import: the volume comes back to what was exported.
    controller->setParamNormalized(kVolume, 0.1);
    fs::remove(dialog.file("pid"));
    dialog.answer(preset + ".preset.xml");
    dialog.go();
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("End"),
                              EditorAction::key("Return")},
                             error))
        << error;
    EXPECT_TRUE(ServeUntil(session, [&] { return std::fabs(session.param(kVolume) - 0.9) < 1e-3; }))
        << "volume after the import: " << session.param(kVolume);
    EXPECT_TRUE(ServeUntil(session, [&] { return Differing(during, session.capture(), kKnob) < 10; }))
        << "the knob does not show the imported volume";

    // Closing the editor while its dialog is open ends the dialog untold.
    fs::remove(dialog.file("pid"));
    dialog.answer(dialog.file("late"));
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("Home"),
                              EditorAction::key("Return")},
                             error))
        << error;
    ASSERT_TRUE(ServeUntil(session, [&] { return dialog.pid() > 0; })) << "the dialog did not start";
    const pid_t closing = dialog.pid();
    session.window->close();
    EXPECT_EQ(::waitpid(closing, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the dialog program was not reaped";
    EXPECT_FALSE(fs::exists(dialog.file("late.preset.xml")));
}

namespace
{
// A mapped top-level window of that name on the display, or 0.
Window MappedWindowNamed(Display* display, const std::string& name)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    XSync(display, False);
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && found == 0; ++i)
    {
        XWindowAttributes attributes{};
        char* title = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            XFetchName(display, children[i], &title) && title != nullptr)
        {
            if (name == title)
                found = children[i];
        }
        if (title)
            XFree(title);
    }
    if (children)
        XFree(children);
    return found;
}

// No desktop portal, zenity or kdialog: the file selector falls back to its
// own browser, which starts in $HOME.
struct BareDesktop
{
    BareDesktop()
    {
        home = folder.path();
        fs::create_directories(home / ".bin"); // hidden: the browser does not list it
        fs::create_directories(home / "presets");
        std::ofstream(home / "a-notes.txt") << "not a preset\n";
        for (const char* name : {"PATH", "HOME", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            saved.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
        ::setenv("PATH", (home / ".bin").c_str(), 1);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    ~BareDesktop()
    {
        for (const auto& [name, value] : saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    kv_test::TempFolder folder{"x11-browser"};
    fs::path home;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

constexpr char kBrowserTitle[] = "Choose a plugin preset file";
// The browser's rows and buttons, from its top left (over the editor's).
constexpr int kRowX = 60, kFirstRowY = 42, kRowHeight = 20;
constexpr int kOkX = 432, kOkY = 339;
} // namespace

TEST(FileDialogWindow, WithoutADesktopDialogTheBuiltInBrowserSavesAndLoadsAPresetByMouseAndKeys)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kDemoSynthBundle);
    // After the X server started: it is found on the PATH.
    BareDesktop desktop;
    Display* display = session.window->display();
    Steinberg::Vst::IEditController* controller = session.instance->controller();
    controller->setParamNormalized(kVolume, 0.2);
    auto browserShown = [&] { return MappedWindowNamed(display, kBrowserTitle) != 0; };
    auto browserGone = [&] { return MappedWindowNamed(display, kBrowserTitle) == 0; };
    std::string error;

    // Export: a click on the "presets" folder (row 1, after "..") and Return
    // go into it; a name, and a click on OK.
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("Home"),
                              EditorAction::key("Return")},
                             error))
        << error;
    ASSERT_TRUE(ServeUntil(session, browserShown)) << "the built-in browser did not open";
    const int presetsRow = kFirstRowY + kRowHeight;
    ASSERT_TRUE(session.play({EditorAction::click(kRowX, presetsRow), EditorAction::key("Return"),
                              EditorAction::type("mine"), EditorAction::click(kOkX, kOkY)},
                             error))
        << error;
    const fs::path saved = desktop.home / "presets" / "mine.preset.xml";
    ASSERT_TRUE(ServeUntil(session, [&] { return fs::exists(saved); })) << "nothing was exported";
    EXPECT_TRUE(ServeUntil(session, browserGone));

    // Escape cancels and writes nothing.
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("Home"),
                              EditorAction::key("Return")},
                             error))
        << error;
    ASSERT_TRUE(ServeUntil(session, browserShown));
    ASSERT_TRUE(session.play({EditorAction::type("other"), EditorAction::key("Escape")}, error)) << error;
    EXPECT_TRUE(ServeUntil(session, browserGone));

    // Import by keys: the list holds "..", "presets/" and no text file (a
    // third Down stays on the folder); in the folder, "..", then the preset.
    controller->setParamNormalized(kVolume, 0.9);
    ASSERT_TRUE(session.play({EditorAction::click(kMenuX, kMenuY), EditorAction::key("End"),
                              EditorAction::key("Return")},
                             error))
        << error;
    ASSERT_TRUE(ServeUntil(session, browserShown));
    ASSERT_TRUE(session.play({EditorAction::key("Down"), EditorAction::key("Down"), EditorAction::key("Down"),
                              EditorAction::key("Return"), EditorAction::key("Down"), EditorAction::key("Down"),
                              EditorAction::key("Down"), EditorAction::key("Return")},
                             error))
        << error;
    EXPECT_TRUE(ServeUntil(session, [&] { return std::fabs(session.param(kVolume) - 0.2) < 1e-3; }))
        << "volume after the import: " << session.param(kVolume);
    EXPECT_TRUE(ServeUntil(session, browserGone));
    EXPECT_FALSE(fs::exists(desktop.home / "presets" / "other.preset.xml"));
    EXPECT_FALSE(fs::exists(desktop.home / "other.preset.xml"));
}
