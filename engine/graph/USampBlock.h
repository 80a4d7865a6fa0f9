#pragma once
// The buffer of an audio pin: one internal block of 32-bit floats plus 8
// spare samples for vector overrun, starting on a cache line. Owned by its
// output pin; the inputs it feeds read it in place.

#include <cstdint>

class USampBlock
{
public:
    static constexpr int kSpareSamples = 8;

    explicit USampBlock(int blockSize);
    virtual ~USampBlock();

    USampBlock(const USampBlock&) = delete;
    USampBlock& operator=(const USampBlock&) = delete;

    float* GetBlock() const { return data_; }
    int GetSize() const { return size_; }

    // Writes one value into every sample of the block.
    void SetAll(float value);

private:
    float* data_;
    int size_;
};
