#include "core/MyLinkedBlockQue.h"
#include "core/lock_free_fifo.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
std::vector<unsigned char> Pattern(int size, int seed)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<unsigned char>((i * 7 + seed) & 0xFF);
    return bytes;
}
} // namespace

TEST(lock_free_fifo, BytesShowOnlyAfterSendWrapIntactAndNeverFillTheLastByte)
{
    lock_free_fifo ring(16);
    std::vector<unsigned char> out(16);
    for (int round = 0; round < 5; ++round)
    {
        const auto bytes = Pattern(11, round);
        ASSERT_EQ(ring.pushString(11, bytes.data()), 11);
        EXPECT_EQ(ring.readyBytes(), 0);
        ring.Send();
        ASSERT_EQ(ring.popString(16, out.data()), 11);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin())) << round;
        EXPECT_EQ(out[11], 0); // what was not there is zero-filled
    }
    const auto bytes = Pattern(20, 0);
    EXPECT_EQ(ring.pushString(20, bytes.data()), 15);
    EXPECT_EQ(ring.pushString(1, bytes.data()), 0);
}

TEST(MyLinkedBlockQue, PushingTwentyFiveHundredBytesAddsOneBlockAndBlocksAreReusedAfterwards)
{
    MyLinkedBlockQue que;
    const auto bytes = Pattern(2500, 3);
    que.pushString(2500, bytes.data());
    EXPECT_EQ(que.blockCount(), 3);
    EXPECT_EQ(que.readyBytes(), 2500);
    std::vector<unsigned char> out(2500);
    EXPECT_EQ(que.popString(2500, out.data()), 2500);
    EXPECT_EQ(out, bytes);
    EXPECT_TRUE(que.isEmpty());

    for (int round = 0; round < 20; ++round)
    {
        const auto chunk = Pattern(1000, round);
        que.pushString(1000, chunk.data());
        ASSERT_EQ(que.popString(1000, out.data()), 1000);
        ASSERT_TRUE(std::equal(chunk.begin(), chunk.end(), out.begin())) << round;
    }
    EXPECT_EQ(que.blockCount(), 3);
}

TEST(MyLinkedBlockQue, FillFifoMovesWhatFitsInOrderWithoutPublishingIt)
{
    MyLinkedBlockQue que;
    const auto bytes = Pattern(3000, 9);
    que.pushString(3000, bytes.data());
    lock_free_fifo ring(1500);
    std::vector<unsigned char> received, chunk(1500);
    while (!que.isEmpty())
    {
        const int moved = que.FillFifo(ring);
        ASSERT_GT(moved, 0);
        EXPECT_EQ(que.FillFifo(ring), 0); // the ring is full
        EXPECT_EQ(ring.readyBytes(), 0);
        ring.Send();
        const int got = ring.popString(ring.readyBytes(), chunk.data());
        received.insert(received.end(), chunk.begin(), chunk.begin() + got);
    }
    EXPECT_EQ(received, bytes);
}
