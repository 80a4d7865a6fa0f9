#include "engine/graph/USampBlock.h"

#include <algorithm>
#include <new>

namespace
{
// A cache line: a piece of 16 samples at a multiple of 16 reads one line, not two.
constexpr std::align_val_t kBlockAlignment{64};
}

USampBlock::USampBlock(int blockSize) : size_(std::max(0, blockSize))
{
    const auto count = static_cast<size_t>(size_ + kSpareSamples);
    data_ = static_cast<float*>(::operator new[](count * sizeof(float), kBlockAlignment));
    std::fill(data_, data_ + count, 0.0f);
}

USampBlock::~USampBlock()
{
    ::operator delete[](data_, kBlockAlignment);
}

void USampBlock::SetAll(float value)
{
    std::fill(data_, data_ + size_, value);
}
