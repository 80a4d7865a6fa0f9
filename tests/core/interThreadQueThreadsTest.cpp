#include "QueTestSupport.h"
#include "tests/ThreadWait.h"

#include "core/interThreadQue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

using namespace que_test;

namespace
{
constexpr int kRecords = 4000;
constexpr int kRingSize = 256;

// Lengths from empty to well past the ring, so every path of the reader runs.
int LengthOf(int sequence)
{
    switch (sequence % 7)
    {
    case 0: return 0;
    case 1: return 3;
    case 2: return 60;
    case 3: return 243;
    case 4: return 255;
    case 5: return 700 + sequence % 300;
    default: return sequence % 190;
    }
}

// Checks each message as it arrives, since the handler only sees a stream.
class CheckingUser : public interThreadQueUser
{
public:
    bool onQueMessageReady(int handle, int id, my_input_stream& stream) override
    {
        // Every ninth message is refused; the queue must skip it.
        if (handle % 9 == 4)
        {
            ++refused_;
            return false;
        }
        const bool inOrder = handle > lastHandle_ && id == QueMessageId::sdk;
        lastHandle_ = handle;
        const auto expected = Payload(LengthOf(handle), handle);
        std::vector<unsigned char> payload(expected.size());
        stream.Read(payload.data(), static_cast<unsigned>(payload.size()));
        if (!inOrder || payload != expected || stream.failed() || stream.BytesRemaining() != 0)
            ++faults_;
        ++taken_;
        return true;
    }

    int Delivered() const { return taken_ + refused_; }

    int lastHandle_ = -1;
    int taken_ = 0;
    int refused_ = 0;
    int faults_ = 0;
};
} // namespace

TEST(interThreadQueThreads, AProducerAndAConsumerPassThousandsOfRecordsIntactAndInOrder)
{
    interThreadQue que(kRingSize);
    CheckingUser user;
    // Each side steps after every publication or poll and waits for the
    // other's step when it can go no further, so a loaded machine slows the
    // hand-overs but never fails them.
    kv_test::Progress sends;
    kv_test::Progress polls;
    std::atomic<bool> producerDone{false};
    std::atomic<bool> consumerDone{false};

    std::thread producer([&] {
        std::mt19937 random(12345);
        std::vector<unsigned char> batch;
        int sequence = 0;
        while (sequence < kRecords)
        {
            // Like the processor relaying one message: one or more records in
            // one batch, pushed in arbitrary pieces and published once.
            batch.clear();
            const int records = 1 + static_cast<int>(random() % 3);
            for (int r = 0; r < records && sequence < kRecords; ++r, ++sequence)
            {
                const auto record = Record(sequence, QueMessageId::sdk, Payload(LengthOf(sequence), sequence));
                batch.insert(batch.end(), record.begin(), record.end());
            }
            size_t offset = 0;
            while (offset < batch.size())
            {
                const size_t piece = std::min(batch.size() - offset, static_cast<size_t>(1 + random() % 400));
                que.pushString(static_cast<int>(piece), batch.data() + offset);
                offset += piece;
            }
            que.Send();
            sends.Step();
        }
        // Keep publishing what still waits in the overflow queue as the
        // consumer frees room.
        while (que.hasOverflow() && !consumerDone.load())
        {
            const long polled = polls.Steps();
            que.Send();
            sends.Step();
            if (que.hasOverflow() && !polls.WaitPast(polled))
                break;
        }
        producerDone = true;
    });

    bool stalled = false;
    while (user.Delivered() < kRecords)
    {
        const long sent = sends.Steps();
        const int delivered = user.Delivered();
        que.pollMessage(&user);
        polls.Step();
        if (user.Delivered() == delivered && !sends.WaitPast(sent))
        {
            stalled = true;
            break;
        }
    }
    consumerDone = true;
    polls.Step();
    producer.join();

    EXPECT_FALSE(stalled) << "nothing arrived for " << kv_test::kPatience.count() << " s";
    EXPECT_EQ(user.Delivered(), kRecords);
    EXPECT_EQ(user.faults_, 0);
    EXPECT_EQ(user.refused_, (kRecords + 4) / 9);
    EXPECT_TRUE(producerDone.load());
    EXPECT_TRUE(que.isEmpty());
}
