#pragma once
// Objects with output pending for the other side wait in an intrusive list
// (each client carries its own link), so queueing never allocates. The list
// is used by one thread only.

class my_output_stream;
class QueuedUsers;

class QueClient
{
public:
    virtual ~QueClient() = default;

    // Payload bytes the client wants to write, given the room offered.
    virtual int queryQueMessageLength(int available) = 0;
    // Writes the client's complete records, whose payloads total length.
    virtual void getQueMessage(my_output_stream& out, int length) = 0;

    bool isQueued() const { return queued_; }
    QueClient* nextClient() const { return next_; }

private:
    friend class QueuedUsers;

    QueClient* next_ = nullptr;
    bool queued_ = false;
};

class QueuedUsers
{
public:
    // Room a record asks for beyond its payload, and the header of each record.
    static constexpr int kRecordSlack = 108;
    static constexpr int kHeaderSize = 12;

    // Appends the client unless it is queued already.
    void AddWaiter(QueClient* client);
    // Unlinks the client wherever it stands; nothing when it is not queued.
    void RemoveWaiter(QueClient* client);
    // Takes the first client off the list, or null.
    QueClient* PopWaiter();
    // Empties the list, clearing every client's link and queued flag.
    void ClearWaiters();

    bool HasWaiters() const { return head_ != nullptr; }
    QueClient* FirstWaiter() const { return head_; }
    QueClient* LastWaiter() const { return tail_; }

    // Lets the waiting clients write into out while room lasts: each is asked
    // for its length with `offer`; it writes only when length + kRecordSlack
    // fits the room left, and then uses length + kHeaderSize of it. Stops at
    // the first client that does not fit, and after the client that was last
    // when the pass began, so clients queued again during the pass wait for
    // the next one. Returns length + kRecordSlack of the first client tried
    // when even it did not fit, else 0.
    int ServiceClients(my_output_stream& out, int room, int offer);

protected:
    ~QueuedUsers() = default;

private:
    QueClient* head_ = nullptr;
    QueClient* tail_ = nullptr;
};
