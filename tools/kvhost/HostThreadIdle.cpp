#include "tools/kvhost/HostThreadIdle.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

HostThreadIdle::HostThreadIdle(std::vector<int> fds)
    : thread_(static_cast<pid_t>(::syscall(SYS_gettid))), fds_(std::move(fds))
{
}

bool HostThreadIdle::idle() const
{
    // "<number> <argument>..." while the thread is in a system call.
    std::ifstream record("/proc/self/task/" + std::to_string(thread_) + "/syscall");
    long number = -1;
    std::string pollfds;
    std::string count;
    if (!(record >> number >> pollfds >> count))
        return false;
    // A poll of no descriptors is a sleep (a retry loop), not a wait for events.
    if ((number != SYS_poll && number != SYS_ppoll) || std::stoul(count, nullptr, 16) == 0)
        return false;
    for (int fd : fds_)
    {
        int unread = 0;
        if (::ioctl(fd, FIONREAD, &unread) == 0 && unread > 0)
            return false;
    }
    return true;
}

bool HostThreadIdle::waitIdle(Display* own, double timeoutSeconds) const
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
        if (idle())
        {
            ::poll(nullptr, 0, 1);
            if (idle())
                return true;
        }
        ::poll(nullptr, 0, 1);
    }
    return false;
}
