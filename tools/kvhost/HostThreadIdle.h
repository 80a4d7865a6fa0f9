#pragma once
// Whether the host thread has dealt with everything the X server sent it: it
// waits on descriptors (in the host's run loop, or in a modal loop of the
// editor's, for a menu or the text box) and none of the connections it serves
// has anything left to read. Read from the kernel's record of the thread's
// current system call, so that it sees waits the host's loop does not run.
// Made on the host thread; asked from any thread (the input player).

#include <sys/types.h>

#include <vector>

#include <X11/Xlib.h>

class HostThreadIdle
{
public:
    // Host thread: the calling thread is the one watched; fds are the
    // descriptors it serves (its X connection, the editor's).
    explicit HostThreadIdle(std::vector<int> fds);

    // Any thread. The host thread waits in poll on at least one descriptor
    // and none of the descriptors has bytes to read.
    bool idle() const;
    // Any thread. Waits until the server has handled what `own` sent (a round
    // trip, twice: events it made for other clients are written out by then)
    // and then until the host thread is idle; false after timeoutSeconds.
    bool waitIdle(Display* own, double timeoutSeconds) const;

private:
    pid_t thread_;
    std::vector<int> fds_;
};
