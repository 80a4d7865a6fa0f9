#include "core/StagingMemoryBuffer.h"

#include <algorithm>
#include <cstring>

uint32_t StagingMemoryBufferOutputStream::Room() const
{
    // A used count beyond the capacity (a corrupted buffer) leaves no room.
    const uint32_t used = buffer_->used_;
    return used < StagingMemoryBuffer::kCapacity ? StagingMemoryBuffer::kCapacity - used : 0;
}

void StagingMemoryBufferOutputStream::Write(const void* data, unsigned size)
{
    if (inRecord_ && failed_)
        return;
    if (size > Room() || (data == nullptr && size > 0))
    {
        setFailed();
        return;
    }
    if (size == 0)
        return;
    std::memcpy(buffer_->data_ + buffer_->used_, data, size);
    buffer_->used_ += size;
}

void StagingMemoryBufferOutputStream::BeginRecord()
{
    failed_ = false;
    inRecord_ = true;
    mark_ = std::min(buffer_->used_, StagingMemoryBuffer::kCapacity);
}

bool StagingMemoryBufferOutputStream::EndRecord()
{
    inRecord_ = false;
    if (!failed_)
        return true;
    // The buffer may have been emptied meanwhile; never move the count forward.
    buffer_->used_ = std::min(buffer_->used_, mark_);
    return false;
}

StagingMemoryBufferInputStream::StagingMemoryBufferInputStream(const void* bytes, int totalSize)
    : bytes_(static_cast<const unsigned char*>(bytes)), totalSize_(bytes && totalSize > 0 ? totalSize : 0)
{
}

StagingMemoryBufferInputStream::StagingMemoryBufferInputStream(const StagingMemoryBuffer& buffer)
    : StagingMemoryBufferInputStream(buffer.data_,
                                     static_cast<int>(std::min(buffer.used_, StagingMemoryBuffer::kCapacity)))
{
}

void StagingMemoryBufferInputStream::ReadRaw(void* destination, unsigned size)
{
    std::memcpy(destination, bytes_ + position_, size);
    position_ += static_cast<int32_t>(size);
}

void StagingMemoryBufferInputStream::SkipRaw(unsigned size)
{
    position_ += static_cast<int32_t>(size);
}
