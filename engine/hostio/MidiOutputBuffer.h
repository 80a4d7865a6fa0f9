#pragma once
// The MIDI ring of the host output module: records of an 8-byte sample time,
// a 4-byte length and the bytes, padded to a multiple of 4. Written by the
// graph during a block, read by the processor after it; both on the audio
// thread. One byte always stays free so that a full ring differs from an
// empty one.

#include <cstdint>

struct MidiOutputBuffer
{
    static constexpr int32_t kSize = 1024;

    // Bytes a record of n MIDI bytes takes.
    static int32_t RecordSize(int32_t n) { return 12 + n + 4 - (n % 4); }

    int32_t FreeSpace() const { return ((readIndex - writeIndex - 1) % size + size) % size; }
    bool IsEmpty() const { return readIndex == writeIndex; }

    // False (and nothing written) when the record does not fit whole.
    bool Write(int64_t time, const unsigned char* bytes, int32_t n);

    // Reads the next record: its time, and up to maxBytes of its bytes (the
    // rest is skipped). False when the ring is empty or holds no whole record.
    bool Read(int64_t& time, unsigned char* bytes, int32_t maxBytes, int32_t& n);
    // The time of the next record without taking it.
    bool PeekTime(int64_t& time) const;

    unsigned char data[kSize] = {};
    int32_t readIndex = 0;
    int32_t writeIndex = 0;
    int32_t size = kSize;
};
