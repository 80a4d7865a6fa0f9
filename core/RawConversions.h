#pragma once
// The raw form of a pin value: its in-memory bytes in native byte order, with
// no length prefix, tag or terminator. Raw forms let values of any type be
// copied and compared as byte strings without knowing their type.
//
// Value types: enum short (2 bytes), text std::wstring (4 bytes a character),
// double (8), bool (1 byte, 0 or 1), audio and float (4), int int32_t (4),
// blob MpBlob (its bytes). MIDI has no raw form.
//
// Readers never read past the byte count they are given: too few bytes (or a
// null pointer) give a zero value or empty text.

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "core/EPlugDataType.h"
#include "core/MpBlob.h"

// Number of raw bytes.
template <typename T>
int RawSize(const T& /*value*/)
{
    static_assert(std::is_trivially_copyable_v<T>, "no raw form for this type");
    return static_cast<int>(sizeof(T));
}
template <> int RawSize<std::wstring>(const std::wstring& value);
template <> int RawSize<MpBlob>(const MpBlob& value);
// Plain wide text: the characters up to the terminator, 4 bytes each.
template <> int RawSize<const wchar_t*>(const wchar_t* const& value);
inline int RawSize(const wchar_t* text)
{
    return RawSize<const wchar_t*>(text);
}

// Pointer to the raw bytes, valid while the value lives unchanged.
template <typename T>
const void* RawData3(const T& value)
{
    static_assert(std::is_trivially_copyable_v<T>, "no raw form for this type");
    return &value;
}
template <> const void* RawData3<std::wstring>(const std::wstring& value);
template <> const void* RawData3<MpBlob>(const MpBlob& value);

// A copy of the raw bytes in a block from the C heap; the caller frees it with
// free(). An empty value gives a null block and size 0.
template <typename T>
void RawData2(const T& value, void** data, int* size)
{
    const int n = RawSize<T>(value);
    *size = n;
    *data = nullptr;
    if (n > 0)
    {
        *data = std::malloc(static_cast<size_t>(n));
        if (*data != nullptr)
            std::memcpy(*data, RawData3<T>(value), static_cast<size_t>(n));
        else
            *size = 0;
    }
}

// Value from raw bytes.
template <typename T>
T RawToValue(const void* data, int size)
{
    static_assert(std::is_trivially_copyable_v<T>, "no raw form for this type");
    T result{};
    if (data != nullptr && size >= static_cast<int>(sizeof(T)))
        std::memcpy(&result, data, sizeof(T));
    return result;
}
template <> bool RawToValue<bool>(const void* data, int size);
// size / 4 characters; a remainder of 1-3 bytes is ignored.
template <> std::wstring RawToValue<std::wstring>(const void* data, int size);
template <> MpBlob RawToValue<MpBlob>(const void* data, int size);

// The raw bytes as a byte string.
template <typename T>
std::string ToRaw4(const T& value)
{
    const int n = RawSize<T>(value);
    if (n <= 0)
        return {};
    return std::string(static_cast<const char*>(RawData3<T>(value)), static_cast<size_t>(n));
}

// Text form of raw bytes: wide text for the user interface, UTF-8 for XML.
// Numbers use the default stream formatting; bool is "1" or "0"; a blob is "<Blob>".
template <typename T> std::wstring RawToString(const void* data, int size);
template <> std::wstring RawToString<std::wstring>(const void* data, int size);
template <> std::wstring RawToString<MpBlob>(const void* data, int size);
template <> std::wstring RawToString<float>(const void* data, int size);
template <> std::wstring RawToString<double>(const void* data, int size);
template <> std::wstring RawToString<short>(const void* data, int size);
template <> std::wstring RawToString<int>(const void* data, int size);
template <> std::wstring RawToString<bool>(const void* data, int size);

template <typename T> std::string RawToUtf8(const void* data, int size);
template <> std::string RawToUtf8<std::wstring>(const void* data, int size);
template <> std::string RawToUtf8<MpBlob>(const void* data, int size);
template <> std::string RawToUtf8<float>(const void* data, int size);
template <> std::string RawToUtf8<double>(const void* data, int size);
template <> std::string RawToUtf8<short>(const void* data, int size);
template <> std::string RawToUtf8<int>(const void* data, int size);
template <> std::string RawToUtf8<bool>(const void* data, int size);

// Raw form of the value a text denotes, by datatype code. Codes without a raw
// text form (MIDI, 7, blob and above, negative) give an empty byte string.
std::string ParseToRaw(int datatype, const std::wstring& text);
std::string ParseToRaw(int datatype, const std::string& text);

// Text form (UTF-8) of a raw value, by datatype code; empty for codes without one.
std::string RawToUtf8B(int datatype, const void* data, int size);

inline bool AreCompatible(EPlugDataType a, EPlugDataType b)
{
    return a == b;
}
