#pragma once
// Helpers shared by the message queue tests: building records and a receiver
// that keeps what it is given.

#include "core/QueMessage.h"
#include "core/interThreadQue.h"
#include "core/my_streams.h"

#include <cstring>
#include <functional>
#include <vector>

namespace que_test
{

struct Received
{
    int handle;
    int id;
    std::vector<unsigned char> payload;
    bool readFailed;
};

inline std::vector<unsigned char> Payload(int size, int seed)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<unsigned char>((seed * 131 + i * 17 + (i >> 8)) & 0xFF);
    return bytes;
}

// A header claiming `length`, followed by the given payload bytes.
inline std::vector<unsigned char> RecordWithLength(int32_t handle, int32_t id, int32_t length,
                                                   const std::vector<unsigned char>& payload)
{
    std::vector<unsigned char> bytes(12);
    std::memcpy(bytes.data(), &handle, 4);
    std::memcpy(bytes.data() + 4, &id, 4);
    std::memcpy(bytes.data() + 8, &length, 4);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

inline std::vector<unsigned char> Record(int32_t handle, int32_t id, const std::vector<unsigned char>& payload)
{
    return RecordWithLength(handle, id, static_cast<int32_t>(payload.size()), payload);
}

// Takes every message and reads as many bytes as `readSize` says (by default
// the whole payload); refuses the handles `refuse` picks.
class RecordingUser : public interThreadQueUser
{
public:
    bool onQueMessageReady(int handle, int id, my_input_stream& stream) override
    {
        if (refuse && refuse(handle))
            return false;
        const unsigned size = readSize ? readSize(handle, stream.BytesRemaining()) : stream.BytesRemaining();
        Received message{handle, id, std::vector<unsigned char>(size), false};
        stream.Read(message.payload.data(), size);
        message.readFailed = stream.failed();
        received.push_back(std::move(message));
        return true;
    }

    std::function<bool(int)> refuse;
    std::function<unsigned(int, unsigned)> readSize;
    std::vector<Received> received;
};

} // namespace que_test
