#pragma once
// A moment for ordering what the host, the editor and the engine did to a
// parameter: the steady clock in nanoseconds (one clock for every process
// of the machine), made strictly increasing within this one so that two
// moments taken one after the other never compare equal.
//
// Threads: any, the audio thread included (no lock, no allocation).

#include <atomic>
#include <chrono>
#include <cstdint>

namespace KvClock
{
inline int64_t Now()
{
    static std::atomic<int64_t> last{0};
    const int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    int64_t seen = last.load(std::memory_order_relaxed);
    for (;;)
    {
        const int64_t next = now > seen ? now : seen + 1;
        if (last.compare_exchange_weak(seen, next, std::memory_order_relaxed))
            return next;
    }
}
} // namespace KvClock
