// The batch to the editor: records written straight through the engine
// front's stream, then the waiting clients' records, sent as one message.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "core/my_streams.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

namespace
{
struct RecordingSender : IDspToGuiSender
{
    bool SendDspToGuiBatch(const unsigned char* data, int size) override
    {
        if (refuse)
            return false;
        batches.emplace_back(data, data + size);
        return true;
    }
    bool refuse = false;
    std::vector<std::vector<unsigned char>> batches;
};

// Asks for a fixed payload and writes one record of it.
struct Client : QueClient
{
    Client(int h, int n) : handle(h), length(n) {}
    int queryQueMessageLength(int /*room*/) override { return length; }
    void getQueMessage(my_output_stream& out, int size) override
    {
        ++served;
        std::vector<unsigned char> payload(static_cast<size_t>(size), static_cast<unsigned char>(handle));
        WriteQueMessage(out, handle, QueMessageId::ppc, payload.data(), size);
        if (onServe)
            onServe();
    }
    int handle;
    int length;
    int served = 0;
    std::function<void()> onServe;
};


// ReadRaw is protected in the stream; a reader for the test.
struct BatchReader : StagingMemoryBufferInputStream
{
    using StagingMemoryBufferInputStream::ReadRaw;
    using StagingMemoryBufferInputStream::StagingMemoryBufferInputStream;
};
} // namespace

TEST(DspToGuiBatch, NothingIsSentWhenNothingWasWritten)
{
    RecordingSender sender;
    SynthRuntime runtime(&sender);
    runtime.ServiceDspRingBuffers();
    EXPECT_TRUE(sender.batches.empty());
}

TEST(DspToGuiBatch, ClientsAreServedWhileTheirRecordAndItsSlackFitTheRoomLeft)
{
    RecordingSender sender;
    SynthRuntime runtime(&sender);
    Client a(1, 4000);
    Client b(2, 5000);
    runtime.RequestQue(&a, false);
    runtime.RequestQue(&b, false);
    runtime.RequestQue(&a, false); // queued once only
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(a.served, 1);
    EXPECT_EQ(b.served, 1);
    ASSERT_EQ(sender.batches.size(), 1u);
    EXPECT_EQ(sender.batches[0].size(), 4000u + 5000u + 24u);

    Client c(3, 4000);
    Client d(4, 6000);
    runtime.RequestQue(&c, false);
    runtime.RequestQue(&d, false);
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(c.served, 1);
    EXPECT_EQ(d.served, 0);
    EXPECT_TRUE(d.isQueued());
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(d.served, 1);
}

TEST(DspToGuiBatch, AClientTooLargeForTheBatchWaitsWithoutHoldingBackSmallerOnes)
{
    RecordingSender sender;
    Client huge(1, 9900);
    Client small(2, 100);
    SynthRuntime runtime(&sender);
    runtime.RequestQue(&huge, false);
    runtime.RequestQue(&small, false);
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(huge.served, 0);
    EXPECT_TRUE(huge.isQueued());
    EXPECT_EQ(small.served, 1);
    EXPECT_FALSE(small.isQueued());
}

TEST(DspToGuiBatch, AClientThatQueuesItselfAgainWhileServedWaitsForTheNextService)
{
    RecordingSender sender;
    Client a(7, 10);
    SynthRuntime runtime(&sender);
    a.onServe = [&] { runtime.RequestQue(&a, false); };
    runtime.RequestQue(&a, false);
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(a.served, 1);
    EXPECT_TRUE(a.isQueued());
    runtime.ServiceDspRingBuffers();
    EXPECT_EQ(a.served, 2);
}

TEST(DspToGuiBatch, DirectRecordsComeFirstAndABatchThatCannotBeSentIsKeptForTheNextService)
{
    RecordingSender sender;
    SynthRuntime runtime(&sender);
    runtime.initialize(44100, 512, "");
    KvAudioMaster* master = runtime.AudioMaster();
    Client a(9, 8);
    runtime.RequestQue(&a, false);
    master->onFadeOutComplete();
    master->MasterReset(); // not running: nothing
    sender.refuse = true;
    runtime.ServiceDspRingBuffers();
    EXPECT_TRUE(sender.batches.empty());
    sender.refuse = false;
    runtime.ServiceDspRingBuffers();
    ASSERT_EQ(sender.batches.size(), 1u);

    BatchReader in(sender.batches[0].data(), static_cast<int>(sender.batches[0].size()));
    QueMessageHeader header;
    ASSERT_TRUE(header.Read(in));
    EXPECT_EQ(header.handle_, -4);
    EXPECT_EQ(header.id_, QueMessageId::fade);
    EXPECT_EQ(header.length_, 0);
    ASSERT_TRUE(header.Read(in));
    EXPECT_EQ(header.handle_, 9);
    EXPECT_EQ(runtime.Staging().used_, 0u);
}
