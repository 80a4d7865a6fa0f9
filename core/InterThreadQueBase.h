#pragma once
// The byte queues that carry messages between the user-interface side and the
// audio thread: a ring, an unbounded block queue, and the message queue built
// from them. Sizes are byte counts; negative sizes move nothing.

class InterThreadQueBase
{
public:
    virtual ~InterThreadQueBase() = default;

    // Both return the number of bytes moved. popString never reads past the
    // bytes that are there; what it could not fill is zero-filled.
    virtual int pushString(int size, const void* data) = 0;
    virtual int popString(int size, void* destination) = 0;
    virtual void Send() = 0;
    virtual bool isEmpty() const = 0;
    virtual int readyBytes() const = 0;
    // Drops up to size of the bytes ready to be read.
    virtual int Skip(int size) = 0;
};
