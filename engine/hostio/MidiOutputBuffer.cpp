#include "engine/hostio/MidiOutputBuffer.h"

namespace
{
void PutBytes(MidiOutputBuffer& ring, const void* source, int32_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(source);
    for (int32_t i = 0; i < count; ++i)
    {
        ring.data[ring.writeIndex] = bytes[i];
        ring.writeIndex = (ring.writeIndex + 1) % ring.size;
    }
}

void GetBytes(const MidiOutputBuffer& ring, int32_t& index, void* destination, int32_t count)
{
    auto* bytes = static_cast<unsigned char*>(destination);
    for (int32_t i = 0; i < count; ++i)
    {
        bytes[i] = ring.data[index];
        index = (index + 1) % ring.size;
    }
}

int32_t Used(const MidiOutputBuffer& ring)
{
    return ((ring.writeIndex - ring.readIndex) % ring.size + ring.size) % ring.size;
}
} // namespace

bool MidiOutputBuffer::Write(int64_t time, const unsigned char* bytes, int32_t n)
{
    if (n < 0 || n > size || (n > 0 && !bytes) || RecordSize(n) > FreeSpace())
        return false;
    PutBytes(*this, &time, 8);
    PutBytes(*this, &n, 4);
    PutBytes(*this, bytes, n);
    writeIndex = (writeIndex + 4 - (n % 4)) % size;
    return true;
}

bool MidiOutputBuffer::PeekTime(int64_t& time) const
{
    if (Used(*this) < 12)
        return false;
    int32_t index = readIndex;
    GetBytes(*this, index, &time, 8);
    return true;
}

bool MidiOutputBuffer::Read(int64_t& time, unsigned char* bytes, int32_t maxBytes, int32_t& n)
{
    const int32_t used = Used(*this);
    if (used < 12)
        return false;
    int32_t index = readIndex;
    GetBytes(*this, index, &time, 8);
    GetBytes(*this, index, &n, 4);
    if (n < 0 || n > size || RecordSize(n) > used)
    {
        // Not a record this writer made: drop everything rather than misread.
        readIndex = writeIndex;
        n = 0;
        return false;
    }
    const int32_t kept = n < maxBytes ? n : (maxBytes > 0 ? maxBytes : 0);
    if (bytes)
        GetBytes(*this, index, bytes, kept);
    readIndex = (readIndex + RecordSize(n)) % size;
    return true;
}
