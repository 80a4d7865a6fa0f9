#pragma once
// The message queue from the user-interface side to the audio thread: one
// writer thread, one reader thread, no lock. Records go into a preallocated
// ring; what does not fit waits in an overflow queue (writer side) and is
// moved into the ring as the reader frees room. A record longer than the
// ring is gathered in an assembly queue (reader side) and delivered whole.

#include "core/InterThreadQueBase.h"
#include "core/MyLinkedBlockQue.h"
#include "core/QueMessage.h"
#include "core/QueuedUsers.h"
#include "core/lock_free_fifo.h"
#include "core/my_streams.h"

#include <atomic>

class my_msg_que_input_stream;

// Receives polled messages. Returns true when an object took the message.
// The stream holds exactly the record's payload; what is left unread is skipped.
class interThreadQueUser
{
public:
    virtual ~interThreadQueUser() = default;
    virtual bool onQueMessageReady(int handle, int id, my_input_stream& stream) = 0;
};

class interThreadQue : public InterThreadQueBase, public my_output_stream, public QueuedUsers
{
public:
    // Larger lengths are taken as a corrupt header rather than gathered.
    static constexpr int kMaxMessageLength = 0x1000000;
    // Smallest ring that can show a whole header.
    static constexpr int kMinCapacity = 16;

    explicit interThreadQue(int size);

    // Writer thread. pushString never blocks and never drops bytes. Send
    // publishes what was pushed; after an overflow it also moves waiting bytes
    // into the ring as far as room allows.
    int pushString(int size, const void* data) override;
    void Send() override;
    void Write(const void* data, unsigned size) override;
    // Not in ring mode: drains the overflow queue (1 when it is empty now, else
    // 0). In ring mode: lets waiting clients write their records while room
    // lasts (see QueuedUsers::ServiceClients), then publishes.
    int ServiceWaiters();
    // Immediately: the client writes its records now and they are published.
    // Otherwise it waits in the list for ServiceWaiters.
    void RequestQue(QueClient* client, bool immediate);
    bool hasOverflow() const { return !ringMode_.load(std::memory_order_relaxed); }

    // Reader thread: delivers every complete message that is visible, in order.
    void pollMessage(interThreadQueUser* user);
    // Delivers the pending message through stream and skips what the user left.
    void ProcessMessage(interThreadQueUser* user, my_msg_que_input_stream& stream);
    int popString(int size, void* destination) override;
    int Skip(int size) override;

    // Either thread: nothing visible and nothing waiting in the overflow queue.
    bool isEmpty() const override;
    int readyBytes() const override;

    // Only while neither thread uses the queue.
    void Reset();

    int capacity() const { return ring_.capacity(); }

private:
    int DrainOverflow();
    // Moves visible bytes of the pending long message into the assembly
    // queue; true once the whole payload is there.
    bool GatherPending();
    void DropVisible();

    std::atomic<bool> ringMode_{true};
    lock_free_fifo ring_;
    MyLinkedBlockQue overflow_;
    std::atomic<int> overflowBytes_{0};
    MyLinkedBlockQue assembly_;
    bool pending_ = false;
    QueMessageHeader pendingHeader_;
};
