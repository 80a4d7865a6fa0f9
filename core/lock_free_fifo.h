#pragma once
// Single-writer, single-reader byte ring. The writer copies bytes in and then
// publishes them with Send (a release store of the committed index); the
// reader sees bytes up to the committed index (acquire) and hands the space
// back by storing its read index (release). The ring never fills its last
// byte, so equal indices always mean empty.

#include "core/InterThreadQueBase.h"

#include <atomic>
#include <memory>

class lock_free_fifo : public InterThreadQueBase
{
public:
    explicit lock_free_fifo(int capacity);

    // Writer side. pushString takes at most Room() - 1 bytes.
    int pushString(int size, const void* data) override;
    void Send() override;
    int Room() const;

    // Reader side.
    int popString(int size, void* destination) override;
    int Skip(int size) override;
    void SkipAll();
    // Moves up to size visible bytes into another queue without a bounce copy.
    int MoveTo(InterThreadQueBase& destination, int size);

    bool isEmpty() const override;
    int readyBytes() const override;

    // Only while neither thread uses the ring.
    void Reset();

    int capacity() const { return capacity_; }

private:
    int Advance(int index, int count) const;

    const int capacity_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::atomic<int> readIndex_{0};
    int writeIndex_ = 0;
    std::atomic<int> committedIndex_{0};
};
