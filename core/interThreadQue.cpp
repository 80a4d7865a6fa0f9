#include "core/interThreadQue.h"

#include "core/my_msg_que_streams.h"

#include <algorithm>
#include <climits>
#include <cstdint>

interThreadQue::interThreadQue(int size) : ring_(std::max(size, kMinCapacity)) {}

int interThreadQue::pushString(int size, const void* data)
{
    if (size < 1 || data == nullptr)
        return 0;
    int taken = 0;
    if (ringMode_.load(std::memory_order_relaxed))
    {
        // The ring keeps its last byte free; whatever is left over goes to the
        // overflow queue, and from then on everything does until it drains.
        taken = ring_.pushString(size, data);
        if (taken == size)
            return size;
        ringMode_.store(false, std::memory_order_relaxed);
    }
    overflow_.pushString(size - taken, static_cast<const unsigned char*>(data) + taken);
    overflowBytes_.store(overflow_.readyBytes(), std::memory_order_relaxed);
    return size;
}

int interThreadQue::DrainOverflow()
{
    overflow_.FillFifo(ring_);
    ring_.Send();
    overflowBytes_.store(overflow_.readyBytes(), std::memory_order_relaxed);
    if (!overflow_.isEmpty())
        return 0;
    overflow_.Reset();
    ringMode_.store(true, std::memory_order_relaxed);
    return 1;
}

void interThreadQue::Send()
{
    // Draining here keeps records flowing after an overflow without the writer
    // having to call ServiceWaiters itself.
    if (ringMode_.load(std::memory_order_relaxed))
        ring_.Send();
    else
        DrainOverflow();
}

void interThreadQue::Write(const void* data, unsigned size)
{
    if (size > INT_MAX)
    {
        setFailed();
        return;
    }
    pushString(static_cast<int>(size), data);
    Send();
}

int interThreadQue::ServiceWaiters()
{
    if (!ringMode_.load(std::memory_order_relaxed))
        return DrainOverflow();
    my_msg_que_output_stream out(*this);
    const int result = ServiceClients(out, ring_.Room() - 1, ring_.capacity() - 1 - QueMessageHeader::kSize);
    Send();
    return result;
}

void interThreadQue::RequestQue(QueClient* client, bool immediate)
{
    if (client == nullptr)
        return;
    if (!immediate)
    {
        AddWaiter(client);
        return;
    }
    // A client served now must not stay linked in the list, or a later request
    // would link it a second time.
    RemoveWaiter(client);
    my_msg_que_output_stream out(*this);
    client->getQueMessage(out, std::max(client->queryQueMessageLength(INT_MAX), 0));
    Send();
}

int interThreadQue::popString(int size, void* destination)
{
    return ring_.popString(size, destination);
}

int interThreadQue::Skip(int size)
{
    return ring_.Skip(size);
}

void interThreadQue::DropVisible()
{
    ring_.SkipAll();
    assembly_.Reset();
    pending_ = false;
    pendingHeader_ = QueMessageHeader{};
}

bool interThreadQue::GatherPending()
{
    const int gathered = assembly_.readyBytes();
    ring_.MoveTo(assembly_, pendingHeader_.length_ - gathered);
    return assembly_.readyBytes() >= pendingHeader_.length_;
}

void interThreadQue::ProcessMessage(interThreadQueUser* user, my_msg_que_input_stream& stream)
{
    if (user)
        user->onQueMessageReady(pendingHeader_.handle_, pendingHeader_.id_, stream);
    // Taken or refused, the record is used up exactly: the handler cannot
    // leave bytes behind or have read into the next record.
    stream.SkipRest();
    pending_ = false;
}

void interThreadQue::pollMessage(interThreadQueUser* user)
{
    for (;;)
    {
        if (!pending_)
        {
            if (ring_.readyBytes() < QueMessageHeader::kSize)
                return;
            my_msg_que_input_stream header(ring_, QueMessageHeader::kSize);
            pendingHeader_.Read(header);
            if (pendingHeader_.length_ < 0 || pendingHeader_.length_ > kMaxMessageLength)
            {
                // The framing is lost: nothing visible can be trusted to start
                // a record, so drop it and start afresh with the next bytes.
                DropVisible();
                return;
            }
            pending_ = true;
        }

        if (pendingHeader_.length_ >= ring_.capacity() - 1)
        {
            // Never visible whole in the ring: gather it over as many polls as needed.
            if (!GatherPending())
                return;
            my_msg_que_input_stream payload(assembly_, pendingHeader_.length_);
            ProcessMessage(user, payload);
            assembly_.Reset();
        }
        else
        {
            if (ring_.readyBytes() < pendingHeader_.length_)
                return;
            my_msg_que_input_stream payload(ring_, pendingHeader_.length_);
            ProcessMessage(user, payload);
        }
    }
}

bool interThreadQue::isEmpty() const
{
    return ring_.isEmpty() && ringMode_.load(std::memory_order_relaxed);
}

int interThreadQue::readyBytes() const
{
    const int64_t total = static_cast<int64_t>(ring_.readyBytes()) + overflowBytes_.load(std::memory_order_relaxed);
    return static_cast<int>(std::min<int64_t>(total, INT_MAX));
}

void interThreadQue::Reset()
{
    ring_.Reset();
    overflow_.Reset();
    overflowBytes_.store(0, std::memory_order_relaxed);
    assembly_.Reset();
    ringMode_.store(true, std::memory_order_relaxed);
    pending_ = false;
    pendingHeader_ = QueMessageHeader{};
    ClearWaiters();
}
