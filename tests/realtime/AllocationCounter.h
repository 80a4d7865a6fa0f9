// Counts every heap allocation of the realtime test binary: the global
// allocation functions are replaced (AllocationCounter.cpp), and a test turns
// counting on around the blocks it checks.
#pragma once

#include <atomic>

namespace kvrt
{
extern std::atomic<bool> counting;
extern std::atomic<long> allocations;
// Set on a thread that stands for the host's user-interface thread, whose
// allocations are its own business.
extern thread_local bool uncountedThread;

// Runs `runBlocks(first, count)` for 300 blocks of warm-up, then `afterWarmUp()`,
// then `counted` blocks more with every allocation counted; the count.
template <class Run, class AfterWarmUp>
long AllocationsAfterWarmUp(Run& runBlocks, int counted, AfterWarmUp afterWarmUp)
{
    runBlocks(0, 300);
    afterWarmUp();
    allocations = 0;
    counting = true;
    runBlocks(300, counted);
    counting = false;
    return allocations.load();
}

template <class Run>
long AllocationsAfterWarmUp(Run& runBlocks, int counted = 3000)
{
    return AllocationsAfterWarmUp(runBlocks, counted, [] {});
}
} // namespace kvrt
