#pragma once
// A host whose UI thread runs GLib's main loop, as GTK and Qt hosts do: the
// plug-in's IRunLoop is served by GLib sources (g_unix_fd_add, g_timeout_add)
// on the default context, and the host's own 20 ms timer drives the test. The
// test's steps run from that timer, each once the one before is done and its
// condition holds, so they go on while the editor waits inside a call of the
// loop's (a module's menu) as well as while nothing of the editor runs.

#include <glib-unix.h>
#include <glib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "EditorSession.h"
#include "pluginterfaces/gui/iplugview.h"

#include <X11/Xlib.h>

namespace x11_test
{

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GlibRunLoop : public Steinberg::Linux::IRunLoop
{
public:
    GlibRunLoop() = default;
    virtual ~GlibRunLoop()
    {
        for (const Source& s : sources_)
        {
            g_source_remove(s.id);
            s.handler->release();
        }
    }
    GlibRunLoop(const GlibRunLoop&) = delete;
    GlibRunLoop& operator=(const GlibRunLoop&) = delete;

    std::size_t sourceCount() const { return sources_.size(); }

    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) SMTG_OVERRIDE
    {
        if (handler == nullptr || fd < 0)
            return Steinberg::kInvalidArgument;
        handler->addRef();
        const guint id = g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd,
                                            static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), &Ready,
                                            handler, nullptr);
        sources_.push_back({id, handler});
        return Steinberg::kResultTrue;
    }
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) SMTG_OVERRIDE
    {
        return remove(handler);
    }
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) SMTG_OVERRIDE
    {
        if (handler == nullptr || milliseconds == 0)
            return Steinberg::kInvalidArgument;
        handler->addRef();
        const guint id =
            g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(milliseconds), &Due, handler, nullptr);
        sources_.push_back({id, handler});
        return Steinberg::kResultTrue;
    }
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) SMTG_OVERRIDE
    {
        return remove(handler);
    }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) SMTG_OVERRIDE
    {
        if (Steinberg::FUnknownPrivate::iidEqual(queried, Steinberg::Linux::IRunLoop_iid) ||
            Steinberg::FUnknownPrivate::iidEqual(queried, Steinberg::FUnknown::iid))
        {
            *obj = static_cast<Steinberg::Linux::IRunLoop*>(this);
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    // Owned by the test, which outlives the editor: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

private:
    struct Source
    {
        guint id;
        Steinberg::FUnknown* handler;
    };

    // The handler is held through its call: it may unregister from inside.
    static gboolean Ready(gint fd, GIOCondition, gpointer data)
    {
        auto* handler = static_cast<Steinberg::Linux::IEventHandler*>(data);
        handler->addRef();
        handler->onFDIsSet(fd);
        handler->release();
        return G_SOURCE_CONTINUE;
    }
    static gboolean Due(gpointer data)
    {
        auto* handler = static_cast<Steinberg::Linux::ITimerHandler*>(data);
        handler->addRef();
        handler->onTimer();
        handler->release();
        return G_SOURCE_CONTINUE;
    }

    Steinberg::tresult remove(Steinberg::FUnknown* handler)
    {
        bool found = false;
        for (auto it = sources_.begin(); it != sources_.end();)
        {
            // Every source registered for that handler goes.
            if (it->handler == handler)
            {
                g_source_remove(it->id);
                it->handler->release();
                it = sources_.erase(it);
                found = true;
            }
            else
                ++it;
        }
        return found ? Steinberg::kResultTrue : Steinberg::kInvalidArgument;
    }

    std::vector<Source> sources_;
};
#pragma GCC diagnostic pop

// The host's own 20 ms timer, running the test's steps.
class GlibSteps
{
public:
    using Clock = std::chrono::steady_clock;
    struct Step
    {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    static constexpr guint kTickMilliseconds = 20;

    // Turns the default context until every step ran, or `seconds` passed
    // (then `failed` names the step that waited in vain). Each step waits
    // for events, never for a time: the limit only ends a failing test.
    bool run(const std::vector<Step>& steps, std::string& failed, double seconds = 3 * kEventSeconds)
    {
        steps_ = &steps;
        next_ = 0;
        const guint timer = g_timeout_add(kTickMilliseconds, &Tick, this);
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (next_ < steps.size() && Clock::now() < until)
            g_main_context_iteration(nullptr, TRUE);
        g_source_remove(timer);
        if (next_ < steps.size())
            failed = steps[next_].what;
        steps_ = nullptr;
        return failed.empty();
    }

    // Steps that measure the timer: marks the start, then waits for `count`
    // ticks and keeps how long they took.
    Step startCounting(const std::string& what, std::function<bool()> ready)
    {
        return {what, std::move(ready), [this] {
                    countFrom_ = ticks_;
                    countStart_ = Clock::now();
                }};
    }
    Step count(const std::string& what, unsigned long count, double& seconds)
    {
        return {what, [this, count] { return ticks_ >= countFrom_ + count; },
                [this, &seconds] { seconds = std::chrono::duration<double>(Clock::now() - countStart_).count(); }};
    }

private:
    static gboolean Tick(gpointer data)
    {
        auto* self = static_cast<GlibSteps*>(data);
        ++self->ticks_;
        if (self->steps_ && self->next_ < self->steps_->size() && (*self->steps_)[self->next_].ready())
        {
            // Next first: the act may turn the loop again (and so tick).
            const Step& step = (*self->steps_)[self->next_++];
            if (step.act)
                step.act();
        }
        return G_SOURCE_CONTINUE;
    }

    const std::vector<Step>* steps_ = nullptr;
    std::size_t next_ = 0;
    unsigned long ticks_ = 0;
    unsigned long countFrom_ = 0;
    Clock::time_point countStart_{};
};

// The viewable windows straight under the root.
inline int ViewableTopLevels(Display* display)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    int viewable = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return -1;
    for (unsigned i = 0; i < count; ++i)
    {
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            ++viewable;
    }
    if (children)
        XFree(children);
    return viewable;
}

// The bundle's editor opened in the session's window, served by GLib.
struct GlibHost
{
    // Ticks of the host's timer counted while a widget is open, and the
    // longest they may take. A widget that held the host's loop would stop
    // them, or let them through only now and then; a loaded machine only
    // makes each come a little late: a quarter of the timer's rate is kept.
    static constexpr unsigned long kOpenTicks = 25;
    static constexpr double kMostOpenSeconds = kOpenTicks * GlibSteps::kTickMilliseconds / 1000.0 / 0.25;

    // The loop outlives the session's window, which unregisters from it.
    GlibRunLoop loop;
    EditorSession session;
    GlibSteps steps;
    Display* user = nullptr;
    std::unique_ptr<XTestInput> input;

    ~GlibHost()
    {
        input.reset();
        if (user)
            XCloseDisplay(user);
    }
    // False with why (and `failed` when it is not a missing display).
    bool open(const std::string& bundle, std::string& why, bool& failed)
    {
        if (!session.start(bundle, why, failed))
            return false;
        failed = true;
        session.window->offerRunLoop(&loop);
        if (!session.window->open(session.instance->controller(), why))
            return false;
        user = XOpenDisplay(DisplayString(session.window->display()));
        if (user == nullptr)
            return why = "no X connection for the user", false;
        input = std::make_unique<XTestInput>(user, session.window->window());
        failed = false;
        return true;
    }
    // A menu of the editor is mapped; shown: drawn too, and so holding the
    // keyboard.
    bool menuOpen() const { return !OverrideRedirectWindows(user).empty(); }
    bool menuShown() const { return MenuShown(user); }
    unsigned long focus() const
    {
        Window focused = 0;
        int revert = 0;
        XGetInputFocus(user, &focused, &revert);
        return focused;
    }
    // The editor registered its connection and timer, and its window is
    // mapped in the host's, which is mapped too.
    GlibSteps::Step shown()
    {
        return {"the editor shows", [this] {
                    Window root = 0, parent = 0;
                    Window* children = nullptr;
                    unsigned count = 0;
                    XQueryTree(user, session.window->window(), &root, &parent, &children, &count);
                    bool viewable = false;
                    for (unsigned i = 0; i < count; ++i)
                    {
                        XWindowAttributes a{};
                        viewable = viewable || (XGetWindowAttributes(user, children[i], &a) && a.map_state == IsViewable);
                    }
                    if (children)
                        XFree(children);
                    return loop.sourceCount() == 2 && viewable;
                },
                {}};
    }
};

} // namespace x11_test

// Opens the bundle's editor in a GlibHost, or skips the test when there is no X display.
#define KV_OPEN_IN_GLIB_HOST_OR_SKIP(host, bundle) KV_START_OR_SKIP((host).open((bundle), why_, failed_))
