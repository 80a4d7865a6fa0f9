#include "core/CriticalSectionXp.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

TEST(CriticalSectionXp, OnlyOneThreadHoldsItAtATime)
{
    gmpi_sdk::CriticalSectionXp lock;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 100000; ++i)
        {
            std::lock_guard<gmpi_sdk::CriticalSectionXp> guard(lock);
            counter = counter + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);

    lock.Enter();
    std::thread other([&] { EXPECT_FALSE(lock.TryEnter()); });
    other.join();
    lock.Leave();
    EXPECT_TRUE(lock.TryEnter());
    lock.Leave();
}
