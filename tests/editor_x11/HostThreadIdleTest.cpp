// What the input player waits on between actions: a thread that is in the
// middle of a round trip to the X server has not handled its input, however
// long the server keeps it waiting; one that waits for events has.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <poll.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "EditorSession.h"
#include "tools/kvhost/HostThreadIdle.h"

using namespace x11_test;

TEST(HostThreadIdle, AThreadAwaitingTheServersReplyIsBusyAndOneWaitingForEventsIsIdle)
{
    EditorSession session;
    KV_CONNECT_OR_SKIP(session);
    Display* own = session.window->display();
    Display* holder = XOpenDisplay(DisplayString(own));
    ASSERT_NE(holder, nullptr);
    int wake[2];
    ASSERT_EQ(::pipe(wake), 0);
    const HostThreadIdle host({ConnectionNumber(own)});

    // The server serves no one else while the holder has it: this thread's
    // round trip waits until the watcher lets go.
    XGrabServer(holder);
    XSync(holder, False);
    std::atomic<HostThreadIdle::Idle> whileHeld{HostThreadIdle::Idle::Nested};
    std::atomic<HostThreadIdle::Idle> waiting{HostThreadIdle::Idle::No};
    std::thread watcher([&] {
        whileHeld = host.waitIdle(nullptr, 1.0);
        XUngrabServer(holder);
        XSync(holder, False);
        waiting = host.waitIdle(nullptr, 10.0);
        const char byte = 1;
        EXPECT_EQ(::write(wake[1], &byte, 1), 1);
    });
    XSync(own, False);
    pollfd fds[2] = {{ConnectionNumber(own), POLLIN, 0}, {wake[0], POLLIN, 0}};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((fds[1].revents & POLLIN) == 0 && std::chrono::steady_clock::now() < until)
        ::poll(fds, 2, 1000);
    watcher.join();
    EXPECT_TRUE(whileHeld == HostThreadIdle::Idle::No) << "idle while its round trip waited on the server";
    EXPECT_TRUE(waiting == HostThreadIdle::Idle::Nested) << "not idle while it waited for events";
    ::close(wake[0]);
    ::close(wake[1]);
    XCloseDisplay(holder);
}
