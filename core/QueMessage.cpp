#include "core/QueMessage.h"

#include "core/my_streams.h"

#include <cstring>

void QueMessageHeader::Write(my_output_stream& out) const
{
    out << handle_ << id_ << length_;
}

bool QueMessageHeader::Read(my_input_stream& in)
{
    in >> handle_ >> id_ >> length_;
    if (!in.failed())
        return true;
    *this = QueMessageHeader{};
    return false;
}

bool WriteQueMessage(my_output_stream& out, int32_t handle, int32_t id, const void* payload, int32_t length)
{
    if (length < 0 || (payload == nullptr && length > 0))
        return false;
    out.BeginRecord();
    QueMessageHeader{handle, id, length}.Write(out);
    if (length > 0)
        out.Write(payload, static_cast<unsigned>(length));
    return out.EndRecord();
}

bool QueMessagesAreWellFormed(const void* bytes, int size)
{
    if (size < 0 || (bytes == nullptr && size > 0))
        return false;
    const auto* data = static_cast<const unsigned char*>(bytes);
    int64_t position = 0;
    while (position < size)
    {
        if (size - position < QueMessageHeader::kSize)
            return false;
        int32_t length = 0;
        std::memcpy(&length, data + position + 8, sizeof(length));
        if (length < 0)
            return false;
        position += QueMessageHeader::kSize + static_cast<int64_t>(length);
    }
    return position == size;
}
