#include "tools/kvhost/HostMemoryStream.h"

#include <algorithm>
#include <cstring>

using namespace Steinberg;

tresult PLUGIN_API HostMemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    if (numBytesRead)
        *numBytesRead = 0;
    if (numBytes < 0 || (numBytes > 0 && !buffer))
        return kInvalidArgument;
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(numBytes), bytes_.size() - cursor_);
    if (count > 0)
        std::memcpy(buffer, bytes_.data() + cursor_, count);
    cursor_ += count;
    if (numBytesRead)
        *numBytesRead = static_cast<int32>(count);
    return kResultOk;
}

tresult PLUGIN_API HostMemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    if (numBytesWritten)
        *numBytesWritten = 0;
    if (numBytes < 0 || (numBytes > 0 && !buffer))
        return kInvalidArgument;
    const auto count = static_cast<std::size_t>(numBytes);
    if (cursor_ + count > kMaxSize)
        return kOutOfMemory;
    if (cursor_ + count > bytes_.size())
        bytes_.resize(cursor_ + count);
    if (count > 0)
        std::memcpy(bytes_.data() + cursor_, buffer, count);
    cursor_ += count;
    if (numBytesWritten)
        *numBytesWritten = numBytes;
    return kResultOk;
}

tresult PLUGIN_API HostMemoryStream::seek(int64 pos, int32 mode, int64* result)
{
    int64 base = 0;
    if (mode == kIBSeekCur)
        base = static_cast<int64>(cursor_);
    else if (mode == kIBSeekEnd)
        base = static_cast<int64>(bytes_.size());
    else if (mode != kIBSeekSet)
        return kInvalidArgument;
    // Positions outside the stream are refused rather than clamped silently.
    if ((pos > 0 && base > INT64_MAX - pos) || base + pos < 0 || base + pos > static_cast<int64>(bytes_.size()))
        return kInvalidArgument;
    cursor_ = static_cast<std::size_t>(base + pos);
    if (result)
        *result = static_cast<int64>(cursor_);
    return kResultOk;
}

tresult PLUGIN_API HostMemoryStream::tell(int64* pos)
{
    if (!pos)
        return kInvalidArgument;
    *pos = static_cast<int64>(cursor_);
    return kResultOk;
}

tresult PLUGIN_API HostMemoryStream::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IBStream::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        addRef();
        *obj = static_cast<IBStream*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API HostMemoryStream::addRef()
{
    return ++references_;
}

uint32 PLUGIN_API HostMemoryStream::release()
{
    const uint32 left = --references_;
    if (left == 0)
        delete this;
    return left;
}
