#include "engine/events/FixedBlockPool.h"

#include <new>

namespace
{
constexpr size_t kBlockAlign = 16;
}

FixedBlockPool::FixedBlockPool(size_t blockSize, int blocksPerChunk, int initialChunks, int maxChunks)
    : blockSize_(((blockSize < sizeof(FreeBlock) ? sizeof(FreeBlock) : blockSize) + kBlockAlign - 1) & ~(kBlockAlign - 1)),
      blocksPerChunk_(blocksPerChunk < 1 ? 1 : blocksPerChunk),
      maxChunks_(maxChunks < 1 ? 1 : maxChunks)
{
    chunks_ = new char*[static_cast<size_t>(maxChunks_)];
    for (int i = 0; i < initialChunks && i < maxChunks_; ++i)
        AddChunk();
    growCount_ = 0;
}

FixedBlockPool::~FixedBlockPool()
{
    for (int i = 0; i < chunkCount_; ++i)
        ::operator delete[](chunks_[i], std::align_val_t(kBlockAlign));
    delete[] chunks_;
}

bool FixedBlockPool::AddChunk()
{
    if (chunkCount_ >= maxChunks_)
        return false;
    auto* chunk = static_cast<char*>(::operator new[](blockSize_ * static_cast<size_t>(blocksPerChunk_),
                                                      std::align_val_t(kBlockAlign), std::nothrow));
    if (!chunk)
        return false;
    chunks_[chunkCount_++] = chunk;
    ++growCount_;
    // Thread the new blocks onto the free list in address order.
    for (int i = blocksPerChunk_ - 1; i >= 0; --i)
    {
        auto* block = reinterpret_cast<FreeBlock*>(chunk + static_cast<size_t>(i) * blockSize_);
        block->next = freeList_;
        freeList_ = block;
    }
    freeCount_ += blocksPerChunk_;
    return true;
}

void* FixedBlockPool::Allocate()
{
    if (!freeList_ && !AddChunk())
        return nullptr;
    FreeBlock* block = freeList_;
    freeList_ = block->next;
    --freeCount_;
    return block;
}

void FixedBlockPool::Release(void* block)
{
    if (!block)
        return;
    auto* freed = static_cast<FreeBlock*>(block);
    freed->next = freeList_;
    freeList_ = freed;
    ++freeCount_;
}

void FixedBlockPool::Reserve(int blocks)
{
    while (freeCount_ < blocks && AddChunk())
    {
    }
}
