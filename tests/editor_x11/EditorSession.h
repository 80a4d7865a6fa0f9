#pragma once
// A plug-in's editor in a real window for the tests: an X server of the
// test's own (Xvfb; else $DISPLAY; else the test is skipped, or fails under
// CI), the bundle loaded and set up as a DAW sets it up, and its editor
// opened in kvhost's editor window. Members go in reverse order: window,
// plug-in, server.

#include <cairo.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../shell/testplugin/TestSineIds.h"
#include "../shell/testplugin/TestSineEditor.h"
#include "pluginterfaces/base/ustring.h"
#include "tools/kvhost/EditorWindow.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/PluginModule.h"
#include "tools/kvhost/XTestInput.h"
#include "tools/kvhost/XvfbServer.h"

#include <X11/Xlib.h>

namespace x11_test
{
inline const std::string kTestSineBundle = KV_TEST_SINE_BUNDLE;
inline const std::string kDemoBundle = KV_DEMO_BUNDLE;

constexpr std::uint32_t kRed = 0xc80000;
constexpr std::uint32_t kGreen = 0x00c800;
constexpr std::uint32_t kBlue = 0x0000ff;
constexpr std::uint32_t kBarGrey = 0x3c3c3c;
constexpr std::uint32_t kBackground = 0x202020;
constexpr std::uint32_t kWhite = 0xffffff;

// The centre of a layout rectangle.
inline int MidX(const int (&r)[4])
{
    return (r[0] + r[2]) / 2;
}
inline int MidY(const int (&r)[4])
{
    return (r[1] + r[3]) / 2;
}

// The pixels of a layout rectangle of a capture, row by row.
inline std::vector<std::uint32_t> Area(const WindowImage& image, const int (&r)[4])
{
    std::vector<std::uint32_t> pixels;
    for (int y = r[1]; y < r[3] && y < image.height; ++y)
        for (int x = r[0]; x < r[2] && x < image.width; ++x)
            pixels.push_back(image.pixels[static_cast<std::size_t>(y) * image.width + x]);
    return pixels;
}

class EditorSession
{
public:
    // Connects to a display: false with the reason to skip (no display) or
    // to fail (`failed` set).
    bool connect(std::string& why, bool& failed)
    {
        failed = false;
        if (server_.ok())
            display_ = server_.name();
        else if (const char* named = std::getenv("DISPLAY"); named != nullptr && *named != '\0')
        {
            if (Display* probe = XOpenDisplay(named))
            {
                XCloseDisplay(probe);
                display_ = named;
            }
        }
        if (display_.empty())
        {
            why = "no X display for the editor tests: " + server_.error() + ", and DISPLAY names no server";
            return false;
        }
        // The editor connects to $DISPLAY, as in a DAW.
        setenv("DISPLAY", display_.c_str(), 1);
        window = EditorWindow::Connect(display_, why);
        failed = !window;
        return !failed;
    }

    // Connects and loads the bundle, as connect() answers.
    bool start(const std::string& bundle, std::string& why, bool& failed)
    {
        if (!connect(why, failed))
            return false;
        failed = true;
        module = PluginModule::Load(bundle, why);
        if (!module)
            return false;
        instance = PluginInstance::Create(module, InstanceSetup(), why);
        if (!instance)
            return false;
        failed = false;
        return true;
    }

    bool open(std::string& error)
    {
        if (!window->open(instance->controller(), error))
            return false;
        window->settle();
        return true;
    }

    // Input through the server, each step once the editor handled the one
    // before (menus and boxes open, keys taken, repaints done).
    bool play(const std::vector<EditorAction>& actions, std::string& error) { return window->play(actions, error); }
    // Serves the host's loop until `done` answers true; false after kEventSeconds.
    bool serveUntil(const std::function<bool()>& done);

    // Whether the server can be made to go away (it is the test's own).
    bool ownServer() const { return server_.ok(); }
    void stopServer() { server_.stop(); }

    double param(Steinberg::Vst::ParamID id) const { return instance->controller()->getParamNormalized(id); }
    // The last text the test editor was given, from its parameter's text.
    std::string editorText() const
    {
        Steinberg::Vst::String128 text{};
        instance->controller()->getParamStringByValue(TestSine::kEditorTextId, 0.0, text);
        std::string utf8;
        for (int i = 0; i < 128 && text[i] != 0; ++i)
        {
            char32_t c = text[i];
            if (c >= 0xd800 && c < 0xdc00 && i + 1 < 128)
                c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
            if (c < 0x80)
                utf8 += static_cast<char>(c);
            else if (c < 0x800)
                utf8 += {static_cast<char>(0xc0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3f))};
            else if (c < 0x10000)
                utf8 += {static_cast<char>(0xe0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3f)),
                         static_cast<char>(0x80 | (c & 0x3f))};
            else
                utf8 += {static_cast<char>(0xf0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3f)),
                         static_cast<char>(0x80 | ((c >> 6) & 0x3f)), static_cast<char>(0x80 | (c & 0x3f))};
        }
        return utf8;
    }
    // The text box's last result code, from its report parameter.
    int textBoxCode() const { return static_cast<int>(std::lround(param(TestSine::kEditorTextEndId) * 10)) - 2; }

    WindowImage capture()
    {
        WindowImage image;
        std::string error;
        window->capture(image, error);
        return image;
    }

private:
    XvfbServer server_;
    std::string display_;

public:
    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
    std::unique_ptr<EditorWindow> window;
};

// A PNG the editor window wrote, read back.
inline WindowImage ReadPng(const std::string& path)
{
    WindowImage image;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_flush(surface);
        image.width = cairo_image_surface_get_width(surface);
        image.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < image.height; ++y)
        {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < image.width; ++x)
                image.pixels.push_back(row[x] & 0xffffffu);
        }
    }
    cairo_surface_destroy(surface);
    return image;
}
// A window straight on the screen that no window manager handles: the
// toolkit's menus and tooltips. Places in screen coordinates.
struct ScreenWindow
{
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

inline std::vector<ScreenWindow> OverrideRedirectWindows(Display* display)
{
    std::vector<ScreenWindow> found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return found;
    for (unsigned i = 0; i < count; ++i)
    {
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, children[i], &a) && a.override_redirect && a.map_state == IsViewable)
            found.push_back({children[i], a.x, a.y, a.width, a.height});
    }
    if (children)
        XFree(children);
    return found;
}

// Something is drawn in the window (it starts black).
inline bool Painted(Display* display, unsigned long window, WindowImage& image)
{
    std::string error;
    if (!CaptureWindow(display, window, image, error))
        return false;
    for (std::uint32_t pixel : image.pixels)
        if (pixel != 0)
            return true;
    return false;
}

// A menu or list of the toolkit shown: on the screen and drawn. The toolkit
// draws it only once it holds the pointer and the keyboard, so input sent
// from then on reaches it; a menu that is only mapped may not have them yet.
inline bool MenuShown(Display* display, ScreenWindow* shown = nullptr)
{
    for (const ScreenWindow& window : OverrideRedirectWindows(display))
    {
        WindowImage image;
        if (Painted(display, window.id, image))
        {
            if (shown)
                *shown = window;
            return true;
        }
    }
    return false;
}

// How long a test waits for an event of a real window (a menu shown or
// gone, the focus moved, the host's loop served): long enough for a machine
// under heavy load; only a test that is failing waits that long.
constexpr double kEventSeconds = 20.0;

// Polls the condition until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, double seconds = kEventSeconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done())
    {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline bool EditorSession::serveUntil(const std::function<bool()>& done)
{
    return window->runLoop().runUntil(done, kEventSeconds);
}

// A user at the screen: `act` runs on a thread with an X connection of its
// own (input in the coordinates of the host's window, and of the screen)
// while this thread serves the editor, which may hold it in a modal loop (a
// menu). True when act returned true in time; else error says why.
struct ScreenUser
{
    Display* display;
    XTestInput window;
    XTestInput screen;
};

inline bool ActWhileServing(EditorSession& session, const std::function<bool(ScreenUser&, std::string&)>& act,
                            std::string& error, double seconds = 3 * kEventSeconds)
{
    const std::string name = DisplayString(session.window->display());
    const unsigned long host = session.window->window();
    std::atomic<bool> finished{false};
    bool ok = false;
    std::thread user([&] {
        Display* own = XOpenDisplay(name.c_str());
        if (own == nullptr)
            error = "no X connection for the user";
        else
        {
            ScreenUser u{own, XTestInput(own, host), XTestInput(own, DefaultRootWindow(own))};
            ok = act(u, error);
            XCloseDisplay(own);
        }
        finished = true;
    });
    session.window->runLoop().runUntil([&] { return finished.load(); }, seconds);
    // A user still waiting on a modal loop that never came is let go by its own time-outs.
    user.join();
    return ok;
}

// Under CI (CI=true, as .ci/run sets it) a window test that gets no display
// fails: a skip would count as a pass and hide that nothing ran.
inline bool DisplayRequired()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && (std::string(ci) == "true" || std::string(ci) == "1");
}
} // namespace x11_test

// Runs `start`, an expression that may set why_ and failed_: when it answers
// false the test is skipped for why_, or fails with it when failed_ is set or
// a display is required.
#define KV_START_OR_SKIP(start)                                                                                        \
    do                                                                                                                 \
    {                                                                                                                  \
        std::string why_;                                                                                              \
        bool failed_ = false;                                                                                          \
        if (!(start))                                                                                                  \
        {                                                                                                              \
            if (failed_)                                                                                               \
                FAIL() << why_;                                                                                        \
            if (x11_test::DisplayRequired())                                                                           \
                FAIL() << why_ << " (CI=true: a window test that cannot run fails)";                                   \
            GTEST_SKIP() << why_;                                                                                      \
        }                                                                                                              \
    } while (false)

// Connects to an X display, or skips the test when there is none.
#define KV_CONNECT_OR_SKIP(session) KV_START_OR_SKIP((session).connect(why_, failed_))

// Opens the bundle's editor, or skips the test when there is no X display.
#define KV_OPEN_EDITOR_OR_SKIP(session, bundle)                                                                        \
    do                                                                                                                 \
    {                                                                                                                  \
        KV_START_OR_SKIP((session).start((bundle), why_, failed_));                                                    \
        std::string error_;                                                                                            \
        ASSERT_TRUE((session).open(error_)) << error_;                                                                 \
    } while (false)
