#include "core/lock_free_fifo.h"

#include <algorithm>
#include <cstring>

lock_free_fifo::lock_free_fifo(int capacity)
    : capacity_(std::max(capacity, 2)), buffer_(std::make_unique_for_overwrite<unsigned char[]>(capacity_))
{
}

int lock_free_fifo::Advance(int index, int count) const
{
    index += count;
    return index >= capacity_ ? index - capacity_ : index;
}

int lock_free_fifo::Room() const
{
    const int read = readIndex_.load(std::memory_order_acquire);
    const int room = read - writeIndex_;
    return read <= writeIndex_ ? room + capacity_ : room;
}

int lock_free_fifo::pushString(int size, const void* data)
{
    size = std::min(size, Room() - 1);
    if (size <= 0 || data == nullptr)
        return 0;
    const auto* source = static_cast<const unsigned char*>(data);
    const int first = std::min(size, capacity_ - writeIndex_);
    std::memcpy(buffer_.get() + writeIndex_, source, static_cast<size_t>(first));
    if (size > first)
        std::memcpy(buffer_.get(), source + first, static_cast<size_t>(size - first));
    writeIndex_ = Advance(writeIndex_, size);
    return size;
}

void lock_free_fifo::Send()
{
    committedIndex_.store(writeIndex_, std::memory_order_release);
}

int lock_free_fifo::readyBytes() const
{
    const int committed = committedIndex_.load(std::memory_order_acquire);
    const int ready = committed - readIndex_.load(std::memory_order_relaxed);
    return ready < 0 ? ready + capacity_ : ready;
}

bool lock_free_fifo::isEmpty() const
{
    return readyBytes() == 0;
}

int lock_free_fifo::popString(int size, void* destination)
{
    const int wanted = std::max(size, 0);
    auto* target = static_cast<unsigned char*>(destination);
    size = std::min(wanted, readyBytes());
    if (target == nullptr)
        return Skip(size);
    if (size > 0)
    {
        const int read = readIndex_.load(std::memory_order_relaxed);
        const int first = std::min(size, capacity_ - read);
        std::memcpy(target, buffer_.get() + read, static_cast<size_t>(first));
        if (size > first)
            std::memcpy(target + first, buffer_.get(), static_cast<size_t>(size - first));
        readIndex_.store(Advance(read, size), std::memory_order_release);
    }
    if (wanted > size)
        std::memset(target + size, 0, static_cast<size_t>(wanted - size));
    return size;
}

int lock_free_fifo::Skip(int size)
{
    size = std::clamp(size, 0, readyBytes());
    if (size > 0)
        readIndex_.store(Advance(readIndex_.load(std::memory_order_relaxed), size), std::memory_order_release);
    return size;
}

void lock_free_fifo::SkipAll()
{
    readIndex_.store(committedIndex_.load(std::memory_order_acquire), std::memory_order_release);
}

int lock_free_fifo::MoveTo(InterThreadQueBase& destination, int size)
{
    size = std::clamp(size, 0, readyBytes());
    int moved = 0;
    while (moved < size)
    {
        // At most two pieces: up to the end of the buffer, then from its start.
        const int read = readIndex_.load(std::memory_order_relaxed);
        const int piece = destination.pushString(std::min(size - moved, capacity_ - read), buffer_.get() + read);
        if (piece <= 0)
            break;
        readIndex_.store(Advance(read, piece), std::memory_order_release);
        moved += piece;
    }
    return moved;
}

void lock_free_fifo::Reset()
{
    readIndex_.store(0, std::memory_order_relaxed);
    writeIndex_ = 0;
    committedIndex_.store(0, std::memory_order_relaxed);
}
