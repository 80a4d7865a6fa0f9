#pragma once
// The host's event loop as a plug-in editor sees it on Linux: descriptors to
// watch and timers to fire, registered through Steinberg::Linux::IRunLoop.
// The host runs it for a while at a time (runFor, runUntil); it waits in
// poll() and so costs nothing while nothing happens. Handlers may register
// and unregister from inside their callbacks. Host thread only.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class EditorRunLoop : public Steinberg::Linux::IRunLoop
{
public:
    using Clock = std::chrono::steady_clock;

    EditorRunLoop() = default;
    virtual ~EditorRunLoop();
    EditorRunLoop(const EditorRunLoop&) = delete;
    EditorRunLoop& operator=(const EditorRunLoop&) = delete;

    // The host's own descriptor (its X connection), served like the plug-in's.
    void setHostDescriptor(int fd, std::function<void()> ready);

    // Waits and serves for that long.
    void runFor(double seconds);
    // Serves until `done` answers true (checked after every wake-up) or the
    // time runs out; true when done.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Serves until the loop is quiet: each timer registered now has fired
    // timerRounds more times, and then a round that follows `sync` (a round
    // trip to the X server) finds no descriptor ready. False when the time
    // ran out first.
    bool runUntilQuiet(const std::function<void()>& sync, int timerRounds, double timeoutSeconds);
    // The descriptors served: the host's and the plug-in's.
    std::vector<int> descriptors() const;

    std::size_t eventHandlerCount() const { return handlers_.size(); }
    std::size_t timerCount() const { return timers_.size(); }
    // Any thread: how many timer callbacks have returned so far, and how
    // often the loop went into and came out of its wait for events (odd
    // while it waits there; an editor's modal loop waits in a callback).
    unsigned long timerFires() const { return fires_.load(); }
    unsigned long waits() const { return waits_.load(); }
    // Interval of the plug-in's first timer in milliseconds, 0 without one.
    Steinberg::Linux::TimerInterval firstTimerInterval() const;

    // IRunLoop
    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    // Owned by the host, which outlives the editor: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

private:
    struct Handler
    {
        unsigned long id;
        Steinberg::Linux::IEventHandler* handler;
        int fd;
    };
    struct Timer
    {
        unsigned long id;
        Steinberg::Linux::ITimerHandler* handler;
        Clock::duration interval;
        Clock::time_point due;
        unsigned long fired = 0;
    };

    // One wait of at most `until`, then the ready descriptors and due
    // timers; the number of descriptors that were ready.
    int serveOnce(Clock::time_point until);
    void fireTimers();

    std::vector<Handler> handlers_;
    std::vector<Timer> timers_;
    unsigned long nextId_ = 1;
    int hostFd_ = -1;
    std::function<void()> hostReady_;
    std::atomic<unsigned long> fires_{0};
    std::atomic<unsigned long> waits_{0};
};
#pragma GCC diagnostic pop
