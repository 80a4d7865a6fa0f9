#pragma once
// An unbounded byte queue for one thread: 1024-byte blocks linked in a circle.
// The writer takes a fresh block only when the next one is still being read,
// so blocks are reused and never freed while the queue lives.

#include "core/InterThreadQueBase.h"

class lock_free_fifo;

class MyLinkedBlockQue : public InterThreadQueBase
{
public:
    static constexpr int kBlockSize = 1024;

    MyLinkedBlockQue();
    ~MyLinkedBlockQue() override;
    MyLinkedBlockQue(const MyLinkedBlockQue&) = delete;
    MyLinkedBlockQue& operator=(const MyLinkedBlockQue&) = delete;

    int pushString(int size, const void* data) override;
    int popString(int size, void* destination) override;
    int Skip(int size) override;
    void Send() override {}
    bool isEmpty() const override;
    int readyBytes() const override;
    void Reset();

    // Moves as much as the ring has room for (keeping its last byte free);
    // the ring's writer still has to publish the bytes with Send.
    int FillFifo(lock_free_fifo& ring);

    int blockCount() const { return blockCount_; }

private:
    struct Block
    {
        Block* next;
        unsigned char data[kBlockSize];
    };

    // Bytes readable at the read offset without changing block.
    int ContiguousReadable() const;
    void AdvanceRead(int count);

    Block* readBlock_;
    Block* writeBlock_;
    int readOffset_ = 0;
    int writeOffset_ = 0;
    int blockCount_ = 2;
};
