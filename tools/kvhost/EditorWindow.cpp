#include "tools/kvhost/EditorWindow.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <poll.h>
#include <thread>

#include "tools/kvhost/HostThreadIdle.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace Steinberg;

namespace
{
// A host keeps running through protocol errors (a window the plug-in already
// destroyed, say); it says so and goes on.
int ReportError(Display* display, XErrorEvent* event)
{
    char text[160] = {};
    XGetErrorText(display, event->error_code, text, sizeof(text));
    std::cerr << "kvhost: X error: " << text << " (request " << static_cast<int>(event->request_code) << ")\n";
    return 0;
}

// Xlib's own handler ends the process; the host says so and carries on
// (the connection's exit handler marks it lost).
int ReportIoError(Display*)
{
    std::cerr << "kvhost: the X connection broke\n";
    return 0;
}

int Side(int32 low, int32 high)
{
    const long long side = static_cast<long long>(high) - low;
    return static_cast<int>(std::clamp<long long>(side, 1, EditorWindow::kMaxSide));
}
} // namespace

std::unique_ptr<EditorWindow> EditorWindow::Connect(const std::string& displayName, std::string& error)
{
    // Scripted input runs on a thread of its own (see play).
    XInitThreads();
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display == nullptr)
    {
        const char* named = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
        error = std::string("cannot open the X display \"") + (named ? named : "") + "\"";
        return nullptr;
    }
    return std::unique_ptr<EditorWindow>(new EditorWindow(display));
}

EditorWindow::EditorWindow(Display* display) : display_(display)
{
    XSetErrorHandler(ReportError);
    // Without these Xlib ends the whole process when the server goes away.
    XSetIOErrorHandler(ReportIoError);
    XSetIOErrorExitHandler(display_, ConnectionLost, this);
    input_ = std::make_unique<XTestInput>(display_, 0);
    runLoop_.setHostDescriptor(ConnectionNumber(display_), [this] { serveHostEvents(); });
}

EditorWindow::~EditorWindow()
{
    close();
    runLoop_.setHostDescriptor(-1, nullptr);
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

void EditorWindow::ConnectionLost(Display*, void* self)
{
    auto* window = static_cast<EditorWindow*>(self);
    window->serverLost_ = true;
    window->runLoop_.setHostDescriptor(-1, nullptr);
}

bool EditorWindow::open(Vst::IEditController* controller, std::string& error)
{
    if (controller == nullptr)
    {
        error = "the plug-in has no controller";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    IPtr<IPlugView> view = owned(controller->createView(Vst::ViewType::kEditor));
    if (!view)
    {
        error = "the controller has no \"editor\" view";
        return false;
    }
    if (!open(view.get(), error))
        return false;
    openSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

bool EditorWindow::open(IPlugView* view, std::string& error)
{
    if (view == nullptr)
    {
        error = "no view";
        return false;
    }
    if (view_)
    {
        error = "a view is open already";
        return false;
    }
    if (serverLost_)
    {
        error = "the X server is gone";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    if (view->isPlatformTypeSupported(kPlatformType) != kResultTrue)
    {
        error = std::string("the view does not take \"") + kPlatformType + "\"";
        return false;
    }
    ViewRect size(0, 0, 400, 300);
    if (view->getSize(&size) != kResultTrue)
        size = ViewRect(0, 0, 400, 300);
    width_ = Side(size.left, size.right);
    height_ = Side(size.top, size.bottom);

    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width_),
                                  static_cast<unsigned>(height_), 0, BlackPixel(display_, screen),
                                  BlackPixel(display_, screen));
    XSelectInput(display_, window_, StructureNotifyMask);
    XStoreName(display_, window_, "kvhost editor");
    XMapWindow(display_, window_);
    XSync(display_, False);
    input_ = std::make_unique<XTestInput>(display_, window_);

    view_ = view;
    view->setFrame(this);
    const tresult attached = view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window_)), kPlatformType);
    if (attached != kResultOk && attached != kResultTrue)
    {
        view->setFrame(nullptr);
        view_ = nullptr;
        XDestroyWindow(display_, window_);
        XSync(display_, False);
        window_ = 0;
        error = "the view refused to attach to the window";
        return false;
    }
    attached_ = true;
    openSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

void EditorWindow::close()
{
    if (view_)
    {
        if (attached_)
            view_->removed();
        attached_ = false;
        view_->setFrame(nullptr);
        view_ = nullptr;
    }
    destroyWindow();
}

void EditorWindow::destroyWindow()
{
    if (window_ != 0 && !serverLost_)
    {
        XDestroyWindow(display_, window_);
        XSync(display_, False);
    }
    window_ = 0;
}

void EditorWindow::serveHostEvents()
{
    while (!serverLost_ && XPending(display_) > 0)
    {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == window_)
        {
            width_ = event.xconfigure.width;
            height_ = event.xconfigure.height;
        }
    }
}

bool EditorWindow::settle()
{
    return runLoop_.runUntilQuiet(
        [this] {
            if (serverLost_)
                return;
            XSync(display_, False);
            serveHostEvents();
        },
        kSettleTimerRounds, kSettleSeconds);
}

bool EditorWindow::play(const std::vector<EditorAction>& actions, std::string& error)
{
    if (serverLost_ || window_ == 0)
    {
        error = serverLost_ ? "the X server is gone" : "no window";
        return false;
    }
    XSync(display_, False);
    const std::string displayName = DisplayString(display_);
    const unsigned long window = window_;
    std::atomic<bool> finished{false};
    std::atomic<bool> back{false};
    std::string failure;
    double total = 0.0;
    for (const EditorAction& action : actions)
        total += kHandleSeconds + action.seconds;
    const HostThreadIdle host(runLoop_.descriptors(), [this] { return runLoop_.waits(); });
    const std::size_t timers = runLoop_.timerCount();

    std::thread player([&] {
        Display* own = XOpenDisplay(displayName.c_str());
        if (own == nullptr)
            failure = "cannot open the X display \"" + displayName + "\" for input";
        XTestInput input(own, window);
        // Each step waits until this thread has handled what the server sent
        // for it (and drawn what it changed) before the next one goes.
        const auto handled = [&](std::size_t step) {
            if (own == nullptr || !failure.empty())
                return;
            const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kHandleSeconds);
            const unsigned long from = runLoop_.timerFires();
            for (;;)
            {
                const double left = std::chrono::duration<double>(until - std::chrono::steady_clock::now()).count();
                const HostThreadIdle::Idle idle = left > 0.0 ? host.waitIdle(own, left) : HostThreadIdle::Idle::No;
                // In one of the editor's modal loops the editor draws before
                // it waits. Waiting in the host's own loop, it draws what
                // changed on its timers, and handles there what another call
                // read off its connection: each fires twice more first.
                if (idle == HostThreadIdle::Idle::Nested ||
                    (idle == HostThreadIdle::Idle::InLoop && runLoop_.timerFires() >= from + 2 * timers))
                    return;
                if (idle == HostThreadIdle::Idle::No)
                    break;
                ::poll(nullptr, 0, 1);
            }
            failure = step == 0 ? "the editor did not take the new keyboard map in time"
                                : "the editor did not handle action " + std::to_string(step) + " in time";
        };
        // Keys for the text first, the editor takes the new keyboard map,
        // then the actions.
        for (const EditorAction& action : actions)
        {
            if (own != nullptr && action.kind == EditorAction::Kind::Type && !input.prepare(action.text))
                failure = "no spare key for the text \"" + action.text + "\"";
        }
        handled(0);
        for (std::size_t i = 0; own != nullptr && i < actions.size() && failure.empty(); ++i)
        {
            const EditorAction& action = actions[i];
            const auto& n = action.numbers;
            bool done = true;
            switch (action.kind)
            {
            case EditorAction::Kind::Click:
                done = n.size() == 3 && input.click(n[0], n[1], n[2]);
                break;
            case EditorAction::Kind::Drag:
                done = n.size() == 4 && input.drag(n[0], n[1], n[2], n[3]);
                break;
            case EditorAction::Kind::Key:
                done = input.key(action.text);
                break;
            case EditorAction::Kind::Type:
                done = input.type(action.text);
                break;
            case EditorAction::Kind::Wait:
                std::this_thread::sleep_for(std::chrono::duration<double>(action.seconds));
                break;
            case EditorAction::Kind::Screenshot:
            {
                WindowImage image;
                std::string why;
                done = CaptureWindow(own, window, image, why) && WritePng(image, action.text, why);
                if (!done)
                    failure = why;
                break;
            }
            }
            if (!done && failure.empty())
                failure = "action " + std::to_string(i + 1) + " could not be sent";
            handled(i + 1);
        }
        finished = true;
        if (own == nullptr)
            return;
        // The host's loop gets the thread back once the editor returns it. A
        // modal loop still open (a menu or box the actions did not close, or
        // input that went astray) would hold it for good: unmapping the
        // host's window, as a host that closes the editor does, ends it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kHandleSeconds);
        while (!back && std::chrono::steady_clock::now() < until)
            ::poll(nullptr, 0, 1);
        if (!back)
        {
            XUnmapWindow(own, window);
            XSync(own, False);
            if (failure.empty())
                failure = "the editor still held the host in a modal loop (a menu, text box or dialog) after the "
                          "last action; the host's window was unmapped to end it";
        }
        XCloseDisplay(own);
    });
    const bool inTime = runLoop_.runUntil([&finished] { return finished.load(); }, total + 30.0);
    back = true;
    player.join();
    settle();
    if (!inTime && failure.empty())
        failure = "the editor did not give the host back in time";
    error = failure;
    return failure.empty();
}

bool EditorWindow::capture(WindowImage& image, std::string& error)
{
    if (serverLost_)
    {
        error = "the X server is gone";
        return false;
    }
    return CaptureWindow(display_, window_, image, error);
}

bool EditorWindow::screenshot(const std::string& pngPath, std::string& error)
{
    WindowImage image;
    return capture(image, error) && WritePng(image, pngPath, error);
}

tresult PLUGIN_API EditorWindow::resizeView(IPlugView* view, ViewRect* newSize)
{
    ++resizeRequests_;
    if (view == nullptr || view != view_.get() || newSize == nullptr || serverLost_ || window_ == 0)
        return kInvalidArgument;
    width_ = Side(newSize->left, newSize->right);
    height_ = Side(newSize->top, newSize->bottom);
    XResizeWindow(display_, window_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    XSync(display_, False);
    ViewRect given(0, 0, width_, height_);
    return view->onSize(&given) == kResultTrue ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API EditorWindow::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IPlugFrame_iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IPlugFrame*>(this);
        return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(queried, Linux::IRunLoop_iid))
    {
        *obj = offered_ ? offered_ : static_cast<Linux::IRunLoop*>(&runLoop_);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
