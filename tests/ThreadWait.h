#pragma once
// Waiting in a test for another thread's progress. A waiter that spins with
// yield takes turns from the thread it waits for, and on a loaded machine
// every hand-over then costs a time slice of each busy process on the core;
// a waiter that sleeps leaves the core to it and, woken, runs at once.
//
// A wait gives up only after kPatience without the progress it waits for:
// far beyond any delay of a loaded machine, within the test's own timeout.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kv_test
{
inline constexpr std::chrono::seconds kPatience{60};

// Polls `done` with sleeps that grow from a few microseconds to a
// millisecond, until it holds or `patience` passes; whether it holds.
template <class Done>
bool WaitUntil(Done&& done, std::chrono::steady_clock::duration patience = kPatience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    std::chrono::microseconds pause{4};
    while (!done())
    {
        if (std::chrono::steady_clock::now() >= until)
            return done();
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds{1000});
    }
    return true;
}

// A count of steps one thread takes and another waits on. A waiter reads
// the count before it looks at what the other thread does, then waits past
// it: a step taken in between is not missed.
class Progress
{
public:
    void Step()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++steps_;
        }
        moved_.notify_all();
    }

    long Steps() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return steps_;
    }

    // Until the count passes `seen`; whether it did within `patience`.
    bool WaitPast(long seen, std::chrono::steady_clock::duration patience = kPatience) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return moved_.wait_for(lock, patience, [&] { return steps_ > seen; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable moved_;
    long steps_ = 0;
};
} // namespace kv_test
