#include "core/BatchRing.h"

#include <cstring>

void BatchRing::Allocate(std::size_t bytes)
{
    capacity_ = (bytes + 3) & ~std::size_t{3};
    buffer_ = capacity_ > 0 ? std::make_unique<unsigned char[]>(capacity_) : nullptr;
    written_.store(0, std::memory_order_relaxed);
    read_.store(0, std::memory_order_release);
}

bool BatchRing::Push(const unsigned char* head, std::size_t headSize, const unsigned char* data, std::size_t size)
{
    if ((headSize > 0 && head == nullptr) || (size > 0 && data == nullptr) || size >= kWrapMark ||
        headSize >= kWrapMark - size)
        return false;
    const std::size_t part = size;
    size += headSize;
    const std::size_t entry = EntrySize(size);
    if (capacity_ == 0 || entry > capacity_)
        return false;
    const uint64_t written = written_.load(std::memory_order_relaxed);
    const uint64_t free = capacity_ - (written - read_.load(std::memory_order_acquire));
    std::size_t at = static_cast<std::size_t>(written % capacity_);
    // Positions are whole words, so the tail always holds at least a wrap mark.
    const std::size_t tail = capacity_ - at;
    const std::size_t skip = entry > tail ? tail : 0;
    if (skip + entry > free)
        return false;
    if (skip > 0)
    {
        std::memcpy(buffer_.get() + at, &kWrapMark, kHeader);
        at = 0;
    }
    const auto length = static_cast<uint32_t>(size);
    std::memcpy(buffer_.get() + at, &length, kHeader);
    if (headSize > 0)
        std::memcpy(buffer_.get() + at + kHeader, head, headSize);
    if (part > 0)
        std::memcpy(buffer_.get() + at + kHeader + headSize, data, part);
    written_.store(written + skip + entry, std::memory_order_release);
    return true;
}

bool BatchRing::Front(const unsigned char*& data, std::size_t& size)
{
    if (capacity_ == 0)
        return false;
    uint64_t read = read_.load(std::memory_order_relaxed);
    const uint64_t written = written_.load(std::memory_order_acquire);
    while (read != written)
    {
        const auto at = static_cast<std::size_t>(read % capacity_);
        uint32_t length = 0;
        std::memcpy(&length, buffer_.get() + at, kHeader);
        if (length == kWrapMark)
        {
            read += capacity_ - at;
            read_.store(read, std::memory_order_release);
            continue;
        }
        data = buffer_.get() + at + kHeader;
        size = length;
        return true;
    }
    return false;
}

void BatchRing::Pop()
{
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!Front(data, size))
        return;
    read_.store(read_.load(std::memory_order_relaxed) + EntrySize(size), std::memory_order_release);
}

bool BatchRing::Empty() const
{
    return read_.load(std::memory_order_relaxed) == written_.load(std::memory_order_acquire);
}
