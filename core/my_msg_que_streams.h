#pragma once
// Streams over the message queues. The output stream only pushes: whoever
// writes a whole record publishes it with the queue's Send. The input stream
// is bounded to one record, so a handler cannot read into the next one.

#include "core/my_streams.h"

class InterThreadQueBase;

class my_msg_que_output_stream : public my_output_stream
{
public:
    explicit my_msg_que_output_stream(InterThreadQueBase& que) : que_(que) {}

    // The queue never runs out of room, so records are never rolled back.
    void Write(const void* data, unsigned size) override;

private:
    InterThreadQueBase& que_;
};

class my_msg_que_input_stream : public my_input_stream
{
public:
    // Reads at most length bytes, and never more than the queue holds.
    my_msg_que_input_stream(InterThreadQueBase& que, int length);

    unsigned BytesRemaining() const override { return static_cast<unsigned>(remaining_); }
    // Drops whatever the reader left of its record.
    void SkipRest();

protected:
    void ReadRaw(void* destination, unsigned size) override;
    void SkipRaw(unsigned size) override;

private:
    InterThreadQueBase& que_;
    int remaining_;
};
