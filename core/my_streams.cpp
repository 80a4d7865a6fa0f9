#include "core/my_streams.h"

#include "core/MpBlob.h"

#include <cstring>

static_assert(sizeof(wchar_t) == 4, "wide strings travel as 4-byte characters");

namespace
{
// Largest character count whose byte size still fits the int32 count field.
constexpr size_t kMaxWideChars = INT32_MAX / 4;
} // namespace

my_output_stream& my_output_stream::operator<<(int32_t value)
{
    Write(&value, sizeof(value));
    return *this;
}

my_output_stream& my_output_stream::operator<<(uint32_t value)
{
    Write(&value, sizeof(value));
    return *this;
}

my_output_stream& my_output_stream::operator<<(int64_t value)
{
    Write(&value, sizeof(value));
    return *this;
}

my_output_stream& my_output_stream::operator<<(float value)
{
    Write(&value, sizeof(value));
    return *this;
}

my_output_stream& my_output_stream::operator<<(double value)
{
    Write(&value, sizeof(value));
    return *this;
}

my_output_stream& my_output_stream::operator<<(bool value)
{
    const uint8_t byte = value ? 1 : 0;
    Write(&byte, 1);
    return *this;
}

my_output_stream& my_output_stream::operator<<(uint8_t value)
{
    Write(&value, 1);
    return *this;
}

my_output_stream& my_output_stream::operator<<(const std::wstring& value)
{
    if (value.size() > kMaxWideChars)
    {
        setFailed();
        return *this;
    }
    const int32_t count = static_cast<int32_t>(value.size());
    Write(&count, sizeof(count));
    if (count > 0)
        Write(value.data(), static_cast<unsigned>(count) * 4u);
    return *this;
}

my_output_stream& my_output_stream::operator<<(const wchar_t* value)
{
    return *this << std::wstring(value ? value : L"");
}

my_output_stream& my_output_stream::operator<<(const MpBlob& value)
{
    const int32_t size = value.getSize();
    Write(&size, sizeof(size));
    if (size > 0)
        Write(value.getData(), static_cast<unsigned>(size));
    return *this;
}

void my_input_stream::Fail()
{
    failed_ = true;
    // Leave the stream at its end so that loops driven by the position stop.
    const unsigned rest = BytesRemaining();
    if (rest > 0)
        SkipRaw(rest);
}

bool my_input_stream::Admit(unsigned size)
{
    if (!failed_ && size <= BytesRemaining())
        return true;
    Fail();
    return false;
}

void my_input_stream::Read(void* destination, unsigned size)
{
    if (size == 0)
        return;
    if (!Admit(size))
    {
        if (destination)
            std::memset(destination, 0, size);
        return;
    }
    if (destination)
        ReadRaw(destination, size);
    else
        SkipRaw(size);
}

void my_input_stream::Skip(unsigned size)
{
    if (size > 0 && Admit(size))
        SkipRaw(size);
}

my_input_stream& my_input_stream::operator>>(int32_t& value)
{
    Read(&value, sizeof(value));
    return *this;
}

my_input_stream& my_input_stream::operator>>(uint32_t& value)
{
    Read(&value, sizeof(value));
    return *this;
}

my_input_stream& my_input_stream::operator>>(int64_t& value)
{
    Read(&value, sizeof(value));
    return *this;
}

my_input_stream& my_input_stream::operator>>(float& value)
{
    Read(&value, sizeof(value));
    return *this;
}

my_input_stream& my_input_stream::operator>>(double& value)
{
    Read(&value, sizeof(value));
    return *this;
}

my_input_stream& my_input_stream::operator>>(bool& value)
{
    // Any byte other than 0 reads as true; loading an arbitrary byte straight
    // into a bool would be undefined.
    uint8_t byte = 0;
    Read(&byte, 1);
    value = byte != 0;
    return *this;
}

my_input_stream& my_input_stream::operator>>(uint8_t& value)
{
    Read(&value, 1);
    return *this;
}

my_input_stream& my_input_stream::operator>>(std::wstring& value)
{
    value.clear();
    int32_t count = 0;
    *this >> count;
    if (failed_)
        return *this;
    if (count < 0 || static_cast<uint64_t>(count) * 4u > BytesRemaining())
    {
        Fail();
        return *this;
    }
    if (count > 0)
    {
        value.resize(static_cast<size_t>(count));
        Read(value.data(), static_cast<unsigned>(count) * 4u);
    }
    return *this;
}

my_input_stream& my_input_stream::operator>>(MpBlob& value)
{
    int32_t size = 0;
    *this >> size;
    if (failed_ || size < 0 || static_cast<uint32_t>(size) > BytesRemaining())
    {
        Fail();
        value.setValueRaw(0, nullptr);
        return *this;
    }
    value.resize(size);
    if (size > 0)
        Read(value.getData(), static_cast<unsigned>(size));
    return *this;
}
