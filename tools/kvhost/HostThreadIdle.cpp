#include "tools/kvhost/HostThreadIdle.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

HostThreadIdle::HostThreadIdle(std::vector<int> fds, std::function<unsigned long()> loopWaits)
    : thread_(static_cast<pid_t>(::syscall(SYS_gettid))), fds_(std::move(fds)), loopWaits_(std::move(loopWaits))
{
}

bool HostThreadIdle::idle() const
{
    // "<number> <argument>..." while the thread is in a system call.
    std::ifstream record("/proc/self/task/" + std::to_string(thread_) + "/syscall");
    long number = -1;
    std::string pollfds;
    std::string count;
    std::string timeout;
    if (!(record >> number >> pollfds >> count >> timeout))
        return false;
    if (number != SYS_poll && number != SYS_ppoll)
        return false;
    // A poll of no descriptors is a sleep (a retry loop), not a wait for events.
    if (std::stoul(count, nullptr, 16) == 0)
        return false;
    // Without a time limit it is Xlib awaiting the server's reply; with a
    // limit of 0 it only looks. poll's limit is an int, -1 for none; ppoll's
    // a pointer, null for none.
    const unsigned long limit = std::stoul(timeout, nullptr, 16);
    if (number == SYS_poll ? static_cast<int>(limit) <= 0 : limit == 0)
        return false;
    for (int fd : fds_)
    {
        int unread = 0;
        if (::ioctl(fd, FIONREAD, &unread) == 0 && unread > 0)
            return false;
    }
    return true;
}

HostThreadIdle::Idle HostThreadIdle::where() const
{
    const unsigned long before = loopWaits_ ? loopWaits_() : 0;
    if (!idle())
        return Idle::No;
    // The same wait of the loop's throughout, or none of its.
    const unsigned long after = loopWaits_ ? loopWaits_() : 0;
    if (after != before)
        return Idle::No;
    return (after & 1) != 0 ? Idle::InLoop : Idle::Nested;
}

HostThreadIdle::Idle HostThreadIdle::waitIdle(Display* own, double timeoutSeconds) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < until)
    {
        if (own != nullptr)
        {
            XSync(own, False);
            XSync(own, False);
        }
        // Twice, a moment apart: the thread may be on its way into a wait
        // for bytes that are arriving.
        const Idle first = where();
        if (first != Idle::No)
        {
            ::poll(nullptr, 0, 1);
            if (where() == first)
                return first;
        }
        ::poll(nullptr, 0, 1);
    }
    return Idle::No;
}
