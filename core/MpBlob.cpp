#include "core/MpBlob.h"

#include <cstring>
#include <utility>

// A negative size is never kept: every path that takes a size clamps it to 0,
// so getSize() can always be used as a byte count.

MpBlob::MpBlob(int size, const void* data)
{
    setValueRaw(size, data);
}

MpBlob::MpBlob(const MpBlob& other) : MpBlob(other.size_, other.data_) {}

MpBlob::MpBlob(MpBlob&& other) noexcept
    : size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      data_(std::exchange(other.data_, nullptr))
{
}

MpBlob::~MpBlob()
{
    release();
}

void MpBlob::release()
{
    delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
}

MpBlob& MpBlob::operator=(const MpBlob& other)
{
    if (this != &other)
        setValueRaw(other.size_, other.data_);
    return *this;
}

MpBlob& MpBlob::operator=(MpBlob&& other) noexcept
{
    if (this != &other)
    {
        release();
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
}

void MpBlob::setValueRaw(int size, const void* data)
{
    if (size < 1 || data == nullptr)
        size = 0;

    if (size > capacity_)
    {
        // The source may lie inside our own array: copy before freeing it.
        char* fresh = size > 0 ? new char[static_cast<size_t>(size)] : nullptr;
        if (size > 0)
            std::memcpy(fresh, data, static_cast<size_t>(size));
        release();
        data_ = fresh;
        size_ = size;
        capacity_ = size;
        return;
    }
    if (size > 0)
        std::memmove(data_, data, static_cast<size_t>(size));
    size_ = size;
}

void MpBlob::reserve(int bytes)
{
    if (bytes <= capacity_)
        return;
    char* fresh = new char[static_cast<size_t>(bytes)];
    if (size_ > 0)
        std::memcpy(fresh, data_, static_cast<size_t>(size_));
    delete[] data_;
    data_ = fresh;
    capacity_ = bytes;
}

void MpBlob::resize(int size)
{
    if (size < 0)
        size = 0;
    if (size > capacity_)
    {
        release();
        data_ = new char[static_cast<size_t>(size)];
        capacity_ = size;
    }
    size_ = size;
}

bool MpBlob::operator==(const MpBlob& other) const
{
    return compare(other.data_, other.size_);
}

bool MpBlob::compare(const char* data, int size) const
{
    if (size != size_)
        return false;
    return size_ < 1 || std::memcmp(data_, data, static_cast<size_t>(size_)) == 0;
}
