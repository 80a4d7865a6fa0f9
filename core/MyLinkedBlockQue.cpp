#include "core/MyLinkedBlockQue.h"

#include "core/lock_free_fifo.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

MyLinkedBlockQue::MyLinkedBlockQue()
{
    auto* first = new Block;
    first->next = new Block;
    first->next->next = first;
    readBlock_ = writeBlock_ = first;
}

MyLinkedBlockQue::~MyLinkedBlockQue()
{
    Block* block = readBlock_->next;
    while (block != readBlock_)
    {
        Block* next = block->next;
        delete block;
        block = next;
    }
    delete readBlock_;
}

int MyLinkedBlockQue::pushString(int size, const void* data)
{
    if (size < 1 || data == nullptr)
        return 0;
    const auto* source = static_cast<const unsigned char*>(data);
    int done = 0;
    while (done < size)
    {
        const int piece = std::min(size - done, kBlockSize - writeOffset_);
        std::memcpy(writeBlock_->data + writeOffset_, source + done, static_cast<size_t>(piece));
        done += piece;
        writeOffset_ += piece;
        if (writeOffset_ == kBlockSize)
        {
            // Move on at once, so the write offset is always inside its block
            // and equal positions always mean empty.
            writeOffset_ = 0;
            if (writeBlock_->next == readBlock_)
            {
                auto* fresh = new Block;
                fresh->next = readBlock_;
                writeBlock_->next = fresh;
                ++blockCount_;
            }
            writeBlock_ = writeBlock_->next;
        }
    }
    return size;
}

int MyLinkedBlockQue::ContiguousReadable() const
{
    return readBlock_ == writeBlock_ ? writeOffset_ - readOffset_ : kBlockSize - readOffset_;
}

void MyLinkedBlockQue::AdvanceRead(int count)
{
    readOffset_ += count;
    if (readOffset_ == kBlockSize)
    {
        readOffset_ = 0;
        readBlock_ = readBlock_->next;
    }
}

int MyLinkedBlockQue::popString(int size, void* destination)
{
    const int wanted = std::max(size, 0);
    auto* target = static_cast<unsigned char*>(destination);
    if (target == nullptr)
        return Skip(wanted);
    int done = 0;
    while (done < wanted && !isEmpty())
    {
        const int piece = std::min(wanted - done, ContiguousReadable());
        std::memcpy(target + done, readBlock_->data + readOffset_, static_cast<size_t>(piece));
        done += piece;
        AdvanceRead(piece);
    }
    if (wanted > done)
        std::memset(target + done, 0, static_cast<size_t>(wanted - done));
    return done;
}

int MyLinkedBlockQue::Skip(int size)
{
    int done = 0;
    while (done < size && !isEmpty())
    {
        const int piece = std::min(size - done, ContiguousReadable());
        done += piece;
        AdvanceRead(piece);
    }
    return done;
}

bool MyLinkedBlockQue::isEmpty() const
{
    return readBlock_ == writeBlock_ && readOffset_ == writeOffset_;
}

int MyLinkedBlockQue::readyBytes() const
{
    int64_t ready = writeOffset_ - readOffset_;
    for (const Block* block = readBlock_; block != writeBlock_; block = block->next)
        ready += kBlockSize;
    return static_cast<int>(std::min<int64_t>(ready, INT_MAX));
}

void MyLinkedBlockQue::Reset()
{
    readBlock_ = writeBlock_;
    readOffset_ = writeOffset_ = 0;
}

int MyLinkedBlockQue::FillFifo(lock_free_fifo& ring)
{
    int budget = ring.Room() - 1;
    int moved = 0;
    while (budget > 0 && !isEmpty())
    {
        const int piece = ring.pushString(std::min(budget, ContiguousReadable()), readBlock_->data + readOffset_);
        if (piece <= 0)
            break;
        AdvanceRead(piece);
        budget -= piece;
        moved += piece;
    }
    return moved;
}
