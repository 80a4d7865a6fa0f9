#pragma once
// A single-producer, single-consumer ring of whole byte batches. Each entry
// is a 32-bit length and the batch's bytes, kept in one piece (an entry that
// would run past the end starts again at the front, behind a wrap mark), so
// the reader sees every batch as one run of bytes. The memory is taken once
// by Allocate; pushing and taking never allocate, lock or wait.
//
// Threads: Allocate while neither side uses the ring; Push on the one
// producer thread (the audio thread); Front, Pop and Empty on the one
// consumer thread at a time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class BatchRing
{
public:
    BatchRing() = default;
    BatchRing(const BatchRing&) = delete;
    BatchRing& operator=(const BatchRing&) = delete;

    // The room one entry of a batch of `size` bytes takes.
    static std::size_t EntrySize(std::size_t size) { return (kHeader + size + 3) & ~std::size_t{3}; }
    // A ring of this many bytes takes `count` batches of up to `size` bytes
    // whatever the write position (one entry more covers the end left
    // unused where a batch starts again at the front).
    static std::size_t RoomFor(std::size_t count, std::size_t size) { return (count + 1) * EntrySize(size); }

    // Room for `bytes` of entries (rounded up to whole words); empties the ring.
    void Allocate(std::size_t bytes);
    std::size_t Capacity() const { return capacity_; }

    // Producer. Copies the batch in whole; false (nothing written) when it
    // does not fit in the free room now, or could never fit.
    bool Push(const unsigned char* data, std::size_t size) { return Push(nullptr, 0, data, size); }
    // Producer. One batch of `head` followed by `data`.
    bool Push(const unsigned char* head, std::size_t headSize, const unsigned char* data, std::size_t size);

    // Consumer. The oldest batch, left in place; false when there is none.
    bool Front(const unsigned char*& data, std::size_t& size);
    // Consumer. Lets go of the batch Front gave; its room returns to the producer.
    void Pop();
    bool Empty() const;
    // Either side: the bytes the waiting batches take.
    std::size_t Used() const
    {
        return static_cast<std::size_t>(written_.load(std::memory_order_acquire) -
                                        read_.load(std::memory_order_acquire));
    }

private:
    static constexpr std::size_t kHeader = sizeof(uint32_t);
    static constexpr uint32_t kWrapMark = 0xFFFFFFFFu;

    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_ = 0;
    // Bytes written and bytes read since Allocate; each side owns one.
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
};
