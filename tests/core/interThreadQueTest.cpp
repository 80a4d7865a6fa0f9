#include "QueTestSupport.h"

#include "core/interThreadQue.h"
#include "core/my_msg_que_streams.h"

#include <gtest/gtest.h>

#include <vector>

using namespace que_test;

namespace
{
void Push(interThreadQue& que, const std::vector<unsigned char>& bytes)
{
    que.pushString(static_cast<int>(bytes.size()), bytes.data());
    que.Send();
}

// Polls and lets the writer publish until nothing more arrives.
void PumpUntilIdle(interThreadQue& que, RecordingUser& user)
{
    for (int i = 0; i < 1000 && !(que.isEmpty() && que.readyBytes() == 0); ++i)
    {
        que.pollMessage(&user);
        que.Send();
    }
    que.pollMessage(&user);
}

void ExpectMessage(const Received& message, int handle, const std::vector<unsigned char>& payload)
{
    EXPECT_EQ(message.handle, handle);
    EXPECT_EQ(message.payload, payload);
    EXPECT_FALSE(message.readFailed);
}

// Asks for a fixed payload and writes one record of the length it is given.
class FixedClient : public QueClient
{
public:
    FixedClient(int handle, int length) : handle_(handle), length_(length) {}

    int queryQueMessageLength(int available) override
    {
        offered_ = available;
        return length_;
    }
    void getQueMessage(my_output_stream& out, int length) override
    {
        const auto payload = Payload(length, handle_);
        out << int32_t{handle_} << QueMessageId::noti << int32_t{length};
        out.Write(payload.data(), static_cast<unsigned>(length));
    }

    int offered_ = 0;

private:
    int handle_;
    int length_;
};
} // namespace

TEST(interThreadQue, AnEmptyRingTakesCapacityMinusOneBytesAndOneMoreGoesToTheOverflowQueue)
{
    interThreadQue que(64);
    const auto bytes = Payload(64, 1);
    que.pushString(63, bytes.data());
    EXPECT_FALSE(que.hasOverflow());
    que.Send();
    EXPECT_EQ(que.readyBytes(), 63);

    que.Reset();
    que.pushString(64, bytes.data());
    EXPECT_TRUE(que.hasOverflow());
    que.Send();
    EXPECT_EQ(que.readyBytes(), 64);
    EXPECT_FALSE(que.isEmpty());

    std::vector<unsigned char> out(64);
    EXPECT_EQ(que.popString(64, out.data()), 63);
    // The reader freed the ring: the next Send moves the last byte in and ends the overflow.
    que.Send();
    EXPECT_FALSE(que.hasOverflow());
    EXPECT_EQ(que.popString(1, out.data() + 63), 1);
    EXPECT_EQ(out, bytes);
    EXPECT_TRUE(que.isEmpty());
}

TEST(interThreadQue, MessagesPushedAfterAnOverflowArriveInOrderWithoutServiceWaiters)
{
    interThreadQue que(64);
    RecordingUser user;
    std::vector<std::vector<unsigned char>> payloads;
    for (int i = 0; i < 6; ++i)
    {
        payloads.push_back(Payload(30 + i * 3, i));
        que.Write(Record(i, QueMessageId::ppc, payloads.back()).data(), 12u + static_cast<unsigned>(payloads.back().size()));
    }
    EXPECT_TRUE(que.hasOverflow());
    PumpUntilIdle(que, user);

    ASSERT_EQ(user.received.size(), payloads.size());
    for (size_t i = 0; i < payloads.size(); ++i)
        ExpectMessage(user.received[i], static_cast<int>(i), payloads[i]);
    EXPECT_FALSE(que.hasOverflow());
}

TEST(interThreadQue, AMessageWhosePayloadIsNotYetVisibleIsDeliveredLaterAheadOfTheNext)
{
    interThreadQue que(256);
    RecordingUser user;
    const auto first = Record(1, QueMessageId::sdk, Payload(40, 1));
    const auto second = Record(2, QueMessageId::sdk, Payload(8, 2));

    Push(que, std::vector<unsigned char>(first.begin(), first.begin() + 20));
    que.pollMessage(&user);
    EXPECT_TRUE(user.received.empty());

    std::vector<unsigned char> rest(first.begin() + 20, first.end());
    rest.insert(rest.end(), second.begin(), second.end());
    Push(que, rest);
    que.pollMessage(&user);
    ASSERT_EQ(user.received.size(), 2u);
    ExpectMessage(user.received[0], 1, Payload(40, 1));
    ExpectMessage(user.received[1], 2, Payload(8, 2));
}

TEST(interThreadQue, AMessageLongerThanTheRingIsGatheredAndDeliveredWhole)
{
    interThreadQue que(64);
    RecordingUser user;
    for (const int length : {63, 64, 500})
    {
        user.received.clear();
        const auto payload = Payload(length, length);
        const auto record = Record(length, QueMessageId::meta, payload);
        que.Write(record.data(), static_cast<unsigned>(record.size()));
        que.Write(Record(-1, QueMessageId::fade, {}).data(), 12);
        PumpUntilIdle(que, user);
        ASSERT_EQ(user.received.size(), 2u) << length;
        ExpectMessage(user.received[0], length, payload);
        ExpectMessage(user.received[1], -1, {});
    }
}

TEST(interThreadQue, RefusedAndUnaddressedMessagesAreSkippedWithoutDisturbingTheRest)
{
    interThreadQue que(256);
    RecordingUser user;
    user.refuse = [](int handle) { return handle == 7; };
    for (const int handle : {1, 7, 2})
        Push(que, Record(handle, QueMessageId::ppc, Payload(10, handle)));
    que.pollMessage(&user);
    Push(que, Record(9, QueMessageId::ppc, Payload(5, 9)));
    que.pollMessage(nullptr);
    Push(que, Record(3, QueMessageId::ppc, Payload(6, 3)));
    que.pollMessage(&user);

    ASSERT_EQ(user.received.size(), 3u);
    ExpectMessage(user.received[0], 1, Payload(10, 1));
    ExpectMessage(user.received[1], 2, Payload(10, 2));
    ExpectMessage(user.received[2], 3, Payload(6, 3));
}

TEST(interThreadQue, AHandlerSeesOnlyItsOwnRecordWhetherItReadsTooLittleOrTooMuch)
{
    for (const bool longRecords : {false, true})
    {
        interThreadQue que(64);
        RecordingUser user;
        // Handle 1 reads two bytes of its payload, handle 2 asks for four more than it has.
        user.readSize = [](int handle, unsigned available) {
            return handle == 1 ? 2u : handle == 2 ? available + 4 : available;
        };
        const int length = longRecords ? 100 : 20;
        for (const int handle : {1, 2, 3})
            que.Write(Record(handle, QueMessageId::noti, Payload(length, handle)).data(), 12u + static_cast<unsigned>(length));
        PumpUntilIdle(que, user);

        ASSERT_EQ(user.received.size(), 3u);
        const auto one = Payload(length, 1);
        EXPECT_EQ(user.received[0].payload, std::vector<unsigned char>(one.begin(), one.begin() + 2));
        EXPECT_TRUE(user.received[1].readFailed);
        EXPECT_EQ(user.received[1].payload, std::vector<unsigned char>(static_cast<size_t>(length) + 4, 0));
        ExpectMessage(user.received[2], 3, Payload(length, 3));
    }
}

TEST(interThreadQue, AHeaderWithANegativeOrAbsurdLengthDropsTheVisibleBatchAndReadingRecovers)
{
    for (const int32_t badLength : {-1, INT32_MIN, interThreadQue::kMaxMessageLength + 1})
    {
        interThreadQue que(256);
        RecordingUser user;
        auto batch = Record(1, QueMessageId::ppc, Payload(4, 1));
        const auto bad = RecordWithLength(2, QueMessageId::ppc, badLength, Payload(8, 2));
        const auto lost = Record(3, QueMessageId::ppc, Payload(4, 3));
        batch.insert(batch.end(), bad.begin(), bad.end());
        batch.insert(batch.end(), lost.begin(), lost.end());
        Push(que, batch);
        que.pollMessage(&user);
        EXPECT_TRUE(que.isEmpty()) << badLength;

        Push(que, Record(4, QueMessageId::ppc, Payload(4, 4)));
        que.pollMessage(&user);
        ASSERT_EQ(user.received.size(), 2u) << badLength;
        ExpectMessage(user.received[0], 1, Payload(4, 1));
        ExpectMessage(user.received[1], 4, Payload(4, 4));
    }
}

TEST(interThreadQue, WaitingClientsWriteWhenServicedIfTheirRecordFits)
{
    interThreadQue que(256);
    RecordingUser user;
    FixedClient small(5, 20), big(6, 200), later(7, 4);
    que.RequestQue(&small, false);
    que.RequestQue(&small, false);
    que.RequestQue(&big, false);
    que.RequestQue(&later, false);
    EXPECT_TRUE(small.isQueued());

    // small fits (20 + 108 of 255); big does not (200 + 108), so it and later wait.
    EXPECT_EQ(que.ServiceWaiters(), 0);
    EXPECT_EQ(small.offered_, 256 - 13);
    EXPECT_FALSE(small.isQueued());
    EXPECT_TRUE(big.isQueued());
    EXPECT_EQ(que.FirstWaiter(), &big);
    // Tried first now, big reports the room it would need.
    EXPECT_EQ(que.ServiceWaiters(), 200 + 108);

    que.pollMessage(&user);
    ASSERT_EQ(user.received.size(), 1u);
    ExpectMessage(user.received[0], 5, Payload(20, 5));

    // Served at once, big leaves the list instead of staying linked in it.
    que.RequestQue(&big, true);
    EXPECT_FALSE(big.isQueued());
    EXPECT_EQ(que.FirstWaiter(), &later);
    que.RequestQue(&big, false);
    EXPECT_EQ(que.LastWaiter(), &big);
    PumpUntilIdle(que, user);
    ASSERT_EQ(user.received.size(), 2u);
    ExpectMessage(user.received[1], 6, Payload(200, 6));
}

TEST(interThreadQue, ResetEmptiesEverythingAndReleasesWaitingClients)
{
    interThreadQue que(1);
    EXPECT_EQ(que.capacity(), interThreadQue::kMinCapacity);
    FixedClient client(1, 4);
    que.RequestQue(&client, false);
    const auto bytes = Payload(100, 0);
    que.pushString(100, bytes.data());
    que.Send();
    ASSERT_TRUE(que.hasOverflow());

    que.Reset();
    EXPECT_TRUE(que.isEmpty());
    EXPECT_EQ(que.readyBytes(), 0);
    EXPECT_FALSE(que.hasOverflow());
    EXPECT_FALSE(que.HasWaiters());
    EXPECT_FALSE(client.isQueued());

    RecordingUser user;
    Push(que, Record(2, QueMessageId::ppc, Payload(3, 2)));
    que.pollMessage(&user);
    ASSERT_EQ(user.received.size(), 1u);
    ExpectMessage(user.received[0], 2, Payload(3, 2));
}
