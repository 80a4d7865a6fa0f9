#include "tools/kvhost/EditorRunLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

using namespace Steinberg;
using namespace Steinberg::Linux;

EditorRunLoop::~EditorRunLoop()
{
    // A plug-in that never unregistered still gets its references back.
    for (const Handler& entry : handlers_)
        entry.handler->release();
    for (const Timer& entry : timers_)
        entry.handler->release();
}

void EditorRunLoop::setHostDescriptor(int fd, std::function<void()> ready)
{
    hostFd_ = fd;
    hostReady_ = std::move(ready);
}

tresult PLUGIN_API EditorRunLoop::registerEventHandler(IEventHandler* handler, FileDescriptor fd)
{
    if (handler == nullptr || fd < 0)
        return kInvalidArgument;
    handler->addRef();
    handlers_.push_back({nextId_++, handler, fd});
    return kResultTrue;
}

tresult PLUGIN_API EditorRunLoop::unregisterEventHandler(IEventHandler* handler)
{
    bool found = false;
    for (auto it = handlers_.begin(); it != handlers_.end();)
    {
        if (it->handler != handler)
        {
            ++it;
            continue;
        }
        IEventHandler* gone = it->handler;
        it = handlers_.erase(it);
        gone->release();
        found = true;
    }
    return found ? kResultTrue : kInvalidArgument;
}

tresult PLUGIN_API EditorRunLoop::registerTimer(ITimerHandler* handler, TimerInterval milliseconds)
{
    if (handler == nullptr || milliseconds == 0)
        return kInvalidArgument;
    handler->addRef();
    const auto interval = std::chrono::milliseconds(milliseconds);
    timers_.push_back({nextId_++, handler, interval, Clock::now() + interval});
    return kResultTrue;
}

tresult PLUGIN_API EditorRunLoop::unregisterTimer(ITimerHandler* handler)
{
    bool found = false;
    for (auto it = timers_.begin(); it != timers_.end();)
    {
        if (it->handler != handler)
        {
            ++it;
            continue;
        }
        ITimerHandler* gone = it->handler;
        it = timers_.erase(it);
        gone->release();
        found = true;
    }
    return found ? kResultTrue : kInvalidArgument;
}

TimerInterval EditorRunLoop::firstTimerInterval() const
{
    if (timers_.empty())
        return 0;
    return static_cast<TimerInterval>(
        std::chrono::duration_cast<std::chrono::milliseconds>(timers_.front().interval).count());
}

tresult PLUGIN_API EditorRunLoop::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IRunLoop_iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IRunLoop*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

void EditorRunLoop::runFor(double seconds)
{
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < until)
        serveOnce(until);
}

bool EditorRunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds)
{
    const auto until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (!done())
    {
        if (Clock::now() >= until)
            return false;
        serveOnce(until);
    }
    return true;
}

bool EditorRunLoop::runUntilQuiet(const std::function<void()>& sync, int timerRounds, double timeoutSeconds)
{
    const auto until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    std::vector<std::pair<unsigned long, unsigned long>> started;
    for (const Timer& timer : timers_)
        started.emplace_back(timer.id, timer.fired);
    const auto timersRan = [&] {
        for (const auto& entry : started)
        {
            const unsigned long id = entry.first;
            const auto found =
                std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
            if (found != timers_.end() && found->fired < entry.second + static_cast<unsigned long>(timerRounds))
                return false;
        }
        return true;
    };
    while (Clock::now() < until)
    {
        if (!timersRan())
        {
            serveOnce(until);
            continue;
        }
        if (sync)
            sync();
        if (serveOnce(Clock::now()) == 0)
            return true;
    }
    return false;
}

std::vector<int> EditorRunLoop::descriptors() const
{
    std::vector<int> fds;
    if (hostFd_ >= 0)
        fds.push_back(hostFd_);
    for (const Handler& entry : handlers_)
        fds.push_back(entry.fd);
    return fds;
}

int EditorRunLoop::serveOnce(Clock::time_point until)
{
    Clock::time_point wake = until;
    for (const Timer& timer : timers_)
        wake = std::min(wake, timer.due);

    std::vector<pollfd> fds;
    std::vector<unsigned long> ids;
    if (hostFd_ >= 0)
    {
        fds.push_back({hostFd_, POLLIN, 0});
        ids.push_back(0);
    }
    for (const Handler& entry : handlers_)
    {
        fds.push_back({entry.fd, POLLIN, 0});
        ids.push_back(entry.id);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
    // Round up, so that a timer a fraction of a millisecond away does not spin.
    const int timeout = left <= 0 ? 0 : static_cast<int>(std::min<long long>(left + 1, 1000));
    ++waits_;
    const int ready = poll(fds.data(), fds.size(), timeout);
    ++waits_;
    if (ready < 0 && errno != EINTR)
        return 0;

    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i)
    {
        if (fds[i].revents == 0)
            continue;
        if (ids[i] == 0)
        {
            if (hostReady_)
                hostReady_();
            continue;
        }
        // The entry may have gone in an earlier callback of this round.
        const auto found = std::find_if(handlers_.begin(), handlers_.end(),
                                        [&](const Handler& entry) { return entry.id == ids[i]; });
        if (found == handlers_.end())
            continue;
        if (fds[i].revents & POLLNVAL)
        {
            // A closed descriptor would wake every wait: forget it.
            IEventHandler* gone = found->handler;
            handlers_.erase(found);
            gone->release();
            continue;
        }
        IEventHandler* handler = found->handler;
        const int fd = found->fd;
        handler->addRef();
        handler->onFDIsSet(fd);
        handler->release();
    }
    fireTimers();
    return ready > 0 ? ready : 0;
}

void EditorRunLoop::fireTimers()
{
    const Clock::time_point now = Clock::now();
    std::vector<unsigned long> due;
    for (const Timer& timer : timers_)
    {
        if (timer.due <= now)
            due.push_back(timer.id);
    }
    for (unsigned long id : due)
    {
        const auto found = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
        if (found == timers_.end())
            continue;
        found->due = now + found->interval;
        ++found->fired;
        ITimerHandler* handler = found->handler;
        handler->addRef();
        handler->onTimer();
        ++fires_;
        handler->release();
    }
}
