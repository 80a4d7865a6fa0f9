#pragma once
// Blocks of one fixed size handed out from preallocated chunks through a free
// list. When the free list runs dry the pool adds one chunk, up to a fixed
// number of chunks; past that it reports failure and the caller falls back.
// Not thread-safe: one pool serves one audio thread.

#include <cstddef>

class FixedBlockPool
{
public:
    // blockSize is rounded up to a multiple of 16 bytes.
    FixedBlockPool(size_t blockSize, int blocksPerChunk, int initialChunks, int maxChunks);
    ~FixedBlockPool();

    FixedBlockPool(const FixedBlockPool&) = delete;
    FixedBlockPool& operator=(const FixedBlockPool&) = delete;

    // A block, or null when every chunk is used and no more may be added.
    void* Allocate();
    void Release(void* block);

    // Adds chunks until at least `blocks` blocks are free (within the chunk limit).
    void Reserve(int blocks);

    size_t BlockSize() const { return blockSize_; }
    int FreeCount() const { return freeCount_; }
    int ChunkCount() const { return chunkCount_; }
    int Capacity() const { return chunkCount_ * blocksPerChunk_; }
    // Chunks added after construction (each one is a heap allocation).
    int GrowCount() const { return growCount_; }

private:
    struct FreeBlock
    {
        FreeBlock* next;
    };

    bool AddChunk();

    size_t blockSize_;
    int blocksPerChunk_;
    int maxChunks_;
    int chunkCount_ = 0;
    int growCount_ = 0;
    int freeCount_ = 0;
    char** chunks_ = nullptr;
    FreeBlock* freeList_ = nullptr;
};
