#include "core/QueuedUsers.h"

#include <algorithm>
#include <cstdint>

void QueuedUsers::AddWaiter(QueClient* client)
{
    if (client == nullptr || client->queued_)
        return;
    client->next_ = nullptr;
    client->queued_ = true;
    if (tail_)
        tail_->next_ = client;
    else
        head_ = client;
    tail_ = client;
}

void QueuedUsers::RemoveWaiter(QueClient* client)
{
    if (client == nullptr || !client->queued_)
        return;
    QueClient* previous = nullptr;
    for (QueClient* c = head_; c != nullptr; previous = c, c = c->next_)
    {
        if (c != client)
            continue;
        (previous ? previous->next_ : head_) = c->next_;
        if (tail_ == c)
            tail_ = previous;
        break;
    }
    client->next_ = nullptr;
    client->queued_ = false;
}

QueClient* QueuedUsers::PopWaiter()
{
    QueClient* client = head_;
    if (client == nullptr)
        return nullptr;
    head_ = client->next_;
    if (tail_ == client)
        tail_ = nullptr;
    client->next_ = nullptr;
    client->queued_ = false;
    return client;
}

void QueuedUsers::ClearWaiters()
{
    while (PopWaiter() != nullptr)
    {
    }
}

int QueuedUsers::ServiceClients(my_output_stream& out, int room, int offer)
{
    QueClient* const last = tail_;
    int64_t budget = room;
    bool first = true;
    while (QueClient* client = head_)
    {
        // A negative answer asks for nothing.
        const int64_t length = std::max(client->queryQueMessageLength(offer), 0);
        if (length + kRecordSlack > budget)
            return first ? static_cast<int>(std::min<int64_t>(length + kRecordSlack, INT32_MAX)) : 0;
        PopWaiter();
        client->getQueMessage(out, static_cast<int>(length));
        budget -= length + kHeaderSize;
        first = false;
        if (client == last)
            break;
    }
    return 0;
}
