#pragma once
// Whether the host thread has dealt with everything the X server sent it: it
// waits for events on descriptors (in the host's run loop, or in a modal loop
// of the editor's, for a menu or the text box) and none of the connections it
// serves has anything left to read. Read from the kernel's record of the
// thread's current system call, so that it sees waits the host's loop does
// not run. Made on the host thread; asked from any thread (the input player).

#include <sys/types.h>

#include <functional>
#include <vector>

#include <X11/Xlib.h>

class HostThreadIdle
{
public:
    // Where the host thread waits for events, if it does.
    enum class Idle
    {
        No,
        // In the host's own run loop.
        InLoop,
        // In a wait nested in one of the loop's callbacks: an editor's modal loop.
        Nested,
    };

    // Host thread: the calling thread is the one watched; fds are the
    // descriptors it serves (its X connection, the editor's). loopWaits, when
    // given, counts the run loop's entries to and exits from its own wait
    // (odd while it waits there); without it every wait counts as nested.
    explicit HostThreadIdle(std::vector<int> fds, std::function<unsigned long()> loopWaits = {});

    // Any thread. The host thread waits in poll, with a time limit, on at
    // least one descriptor, and none of the descriptors has bytes to read. A
    // wait without a time limit is Xlib awaiting the server's reply to a
    // request, in the middle of handling something.
    bool idle() const;
    // Any thread. idle(), and where.
    Idle where() const;
    // Any thread. Waits until the server has handled what `own` sent (a round
    // trip, twice: events it made for other clients are written out by then)
    // and then until the host thread is idle; No after timeoutSeconds.
    Idle waitIdle(Display* own, double timeoutSeconds) const;

private:
    pid_t thread_;
    std::vector<int> fds_;
    std::function<unsigned long()> loopWaits_;
};
