// The ring that carries whole batches from the audio thread to the
// user-interface thread: batches come out whole and in order across the
// wrap, a batch that does not fit is refused without harm, and a producer
// and a consumer on two threads see every byte.

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>
#include <thread>

#include "core/BatchRing.h"
#include "tests/ThreadWait.h"

namespace
{
std::string Batch(int n, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(n * 31 + static_cast<int>(i));
    return bytes;
}

bool Push(BatchRing& ring, const std::string& bytes)
{
    return ring.Push(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool Take(BatchRing& ring, std::string& bytes)
{
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!ring.Front(data, size))
        return false;
    bytes.assign(reinterpret_cast<const char*>(data), size);
    ring.Pop();
    return true;
}
} // namespace

TEST(BatchRing, BatchesComeOutWholeAndInOrderAcrossTheWrapAndRefusalsLoseNothing)
{
    BatchRing unallocated;
    EXPECT_FALSE(Push(unallocated, "abc"));
    EXPECT_TRUE(unallocated.Empty());

    BatchRing ring;
    ring.Allocate(BatchRing::RoomFor(3, 100));
    EXPECT_FALSE(Push(ring, std::string(ring.Capacity(), 'x'))) << "larger than the ring";

    // Sizes that leave every remainder of a word, so the write position
    // wraps at many offsets; the consumer takes one batch for every two
    // offered, so the ring fills and refuses some.
    std::deque<std::string> expected;
    int refused = 0;
    for (int n = 0; n < 200; ++n)
    {
        const std::string bytes = Batch(n, static_cast<std::size_t>(1 + (n * 37) % 100));
        if (Push(ring, bytes))
            expected.push_back(bytes);
        else
            ++refused;
        if (n % 2 == 1 && !expected.empty())
        {
            std::string got;
            ASSERT_TRUE(Take(ring, got));
            EXPECT_EQ(got, expected.front()) << n;
            expected.pop_front();
        }
    }
    EXPECT_GT(refused, 0);
    std::string got;
    while (Take(ring, got))
    {
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(got, expected.front());
        expected.pop_front();
    }
    EXPECT_TRUE(expected.empty());
    EXPECT_TRUE(ring.Empty());

    // Emptied, wherever it stands, it takes as many full batches as it was
    // made for.
    for (int start = 0; start < 40; ++start)
    {
        ASSERT_TRUE(Push(ring, Batch(start, static_cast<std::size_t>(1 + start % 7))));
        ASSERT_TRUE(Take(ring, got));
        for (int n = 0; n < 3; ++n)
            EXPECT_TRUE(Push(ring, Batch(n, 100))) << start;
        for (int n = 0; n < 3; ++n)
        {
            ASSERT_TRUE(Take(ring, got));
            EXPECT_EQ(got, Batch(n, 100));
        }
    }
}

TEST(BatchRing, AProducerAndAConsumerOnTwoThreadsSeeEveryBatchIntact)
{
    BatchRing ring;
    ring.Allocate(BatchRing::RoomFor(3, 1000));
    constexpr int kBatches = 20000;
    // A side that finds the ring full (or empty) waits for the other's next
    // take (or push), read before it tried.
    kv_test::Progress pushed;
    kv_test::Progress taken;
    std::atomic<bool> gaveUp{false};
    std::thread producer([&] {
        for (int n = 0; n < kBatches && !gaveUp.load();)
        {
            const long seen = taken.Steps();
            if (Push(ring, Batch(n, static_cast<std::size_t>(1 + (n * 13) % 1000))))
            {
                ++n;
                pushed.Step();
            }
            else if (!taken.WaitPast(seen))
                break;
        }
    });
    int received = 0;
    int damaged = 0;
    std::string got;
    while (received < kBatches)
    {
        const long seen = pushed.Steps();
        if (!Take(ring, got))
        {
            if (!pushed.WaitPast(seen))
                break;
            continue;
        }
        taken.Step();
        // Read on to the end either way, so that the producer finishes.
        if (got != Batch(received, static_cast<std::size_t>(1 + (received * 13) % 1000)))
            ++damaged;
        ++received;
    }
    gaveUp = true;
    taken.Step();
    producer.join();
    EXPECT_EQ(received, kBatches) << "the hand-over stalled";
    EXPECT_EQ(damaged, 0);
    EXPECT_TRUE(ring.Empty());
}
