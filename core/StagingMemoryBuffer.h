#pragma once
// A fixed buffer in which records are gathered to leave as one message, and the
// two streams that write and read it. Nothing here allocates.

#include "core/my_streams.h"

#include <cstdint>

struct StagingMemoryBuffer
{
    static constexpr uint32_t kCapacity = 10000;

    void Clear() { used_ = 0; }

    uint32_t used_ = 0;
    unsigned char data_[kCapacity];
};

// Appends at the buffer's used count. A write that does not fit is dropped
// whole and marks the stream failed; inside BeginRecord/EndRecord the rest of
// the record is dropped too and EndRecord rolls the buffer back to where the
// record began, so no partial record is ever left behind.
class StagingMemoryBufferOutputStream : public my_output_stream
{
public:
    explicit StagingMemoryBufferOutputStream(StagingMemoryBuffer* buffer) : buffer_(buffer) {}

    void Write(const void* data, unsigned size) override;
    void BeginRecord() override;
    bool EndRecord() override;

    uint32_t Room() const;

private:
    StagingMemoryBuffer* buffer_;
    uint32_t mark_ = 0;
    bool inRecord_ = false;
};

// Reads a run of bytes from the start; never reads past totalSize.
class StagingMemoryBufferInputStream : public my_input_stream
{
public:
    StagingMemoryBufferInputStream(const void* bytes, int totalSize);
    explicit StagingMemoryBufferInputStream(const StagingMemoryBuffer& buffer);

    unsigned BytesRemaining() const override { return static_cast<unsigned>(totalSize_ - position_); }
    int Position() const { return position_; }
    int TotalSize() const { return totalSize_; }
    bool AtEnd() const { return position_ >= totalSize_; }

protected:
    void ReadRaw(void* destination, unsigned size) override;
    void SkipRaw(unsigned size) override;

private:
    const unsigned char* bytes_;
    int32_t position_ = 0;
    int32_t totalSize_;
};
