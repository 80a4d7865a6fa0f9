#include "core/RawConversions.h"

#include <cstdint>
#include <cwchar>

#include "core/conversion.h"

namespace
{

// size / 4 characters of raw text; nothing for a null pointer or a negative count.
std::wstring RawChars(const void* data, int size)
{
    if (data == nullptr || size < 4)
        return {};
    std::wstring text(static_cast<size_t>(size) / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    return text;
}

// Formats a value of T read from raw bytes, or empty text when too few bytes.
template <typename T>
std::string FormatRaw(const void* data, int size)
{
    if (data == nullptr || size < static_cast<int>(sizeof(T)))
        return {};
    T value;
    std::memcpy(&value, data, sizeof(T));
    if constexpr (std::is_floating_point_v<T>)
        return DoubleToUtf8(value);
    else
        return IntToUtf8(value);
}

template <typename T>
void AppendRaw(std::string& bytes, T value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

std::string TextToRaw(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Number parsing shared by the wide and UTF-8 forms of ParseToRaw.
template <typename Char>
std::string NumberToRaw(int datatype, const Char* text)
{
    std::string bytes;
    switch (datatype)
    {
    case DT_ENUM:
        AppendRaw(bytes, static_cast<int16_t>(StringToInt(text)));
        break;
    case DT_DOUBLE:
        AppendRaw(bytes, StringToDouble(text));
        break;
    case DT_BOOL:
        AppendRaw(bytes, static_cast<uint8_t>(StringToInt(text) != 0 ? 1 : 0));
        break;
    case DT_FSAMPLE:
    case DT_FLOAT:
        AppendRaw(bytes, static_cast<float>(StringToDouble(text)));
        break;
    case DT_INT:
        AppendRaw(bytes, static_cast<int32_t>(StringToInt(text)));
        break;
    default: // MIDI, 7, blob and unknown codes have no raw text form
        break;
    }
    return bytes;
}

} // namespace

template <> int RawSize<std::wstring>(const std::wstring& value)
{
    return static_cast<int>(value.size() * sizeof(wchar_t));
}

template <> int RawSize<MpBlob>(const MpBlob& value)
{
    return value.getSize();
}

template <> int RawSize<const wchar_t*>(const wchar_t* const& value)
{
    return value == nullptr ? 0 : static_cast<int>(std::wcslen(value) * sizeof(wchar_t));
}

template <> const void* RawData3<std::wstring>(const std::wstring& value)
{
    return value.data();
}

template <> const void* RawData3<MpBlob>(const MpBlob& value)
{
    return value.getData();
}

template <> bool RawToValue<bool>(const void* data, int size)
{
    return data != nullptr && size >= 1 && *static_cast<const unsigned char*>(data) != 0;
}

template <> std::wstring RawToValue<std::wstring>(const void* data, int size)
{
    return RawChars(data, size);
}

template <> MpBlob RawToValue<MpBlob>(const void* data, int size)
{
    return MpBlob(size, data);
}

template <> std::wstring RawToString<std::wstring>(const void* data, int size)
{
    return RawChars(data, size);
}

template <> std::wstring RawToString<MpBlob>(const void*, int)
{
    return L"<Blob>";
}

template <> std::wstring RawToString<float>(const void* data, int size)
{
    return ToWstring(RawToUtf8<float>(data, size));
}

template <> std::wstring RawToString<double>(const void* data, int size)
{
    return ToWstring(RawToUtf8<double>(data, size));
}

template <> std::wstring RawToString<short>(const void* data, int size)
{
    return ToWstring(RawToUtf8<short>(data, size));
}

template <> std::wstring RawToString<int>(const void* data, int size)
{
    return ToWstring(RawToUtf8<int>(data, size));
}

template <> std::wstring RawToString<bool>(const void* data, int size)
{
    return ToWstring(RawToUtf8<bool>(data, size));
}

template <> std::string RawToUtf8<std::wstring>(const void* data, int size)
{
    return WStringToUtf8(RawChars(data, size));
}

template <> std::string RawToUtf8<MpBlob>(const void*, int)
{
    return "<Blob>";
}

template <> std::string RawToUtf8<float>(const void* data, int size)
{
    return FormatRaw<float>(data, size);
}

template <> std::string RawToUtf8<double>(const void* data, int size)
{
    return FormatRaw<double>(data, size);
}

template <> std::string RawToUtf8<short>(const void* data, int size)
{
    return FormatRaw<int16_t>(data, size);
}

template <> std::string RawToUtf8<int>(const void* data, int size)
{
    return FormatRaw<int32_t>(data, size);
}

template <> std::string RawToUtf8<bool>(const void* data, int size)
{
    if (data == nullptr || size < 1)
        return {};
    return *static_cast<const unsigned char*>(data) != 0 ? "1" : "0";
}

std::string ParseToRaw(int datatype, const std::wstring& text)
{
    if (datatype == DT_TEXT)
        return TextToRaw(text);
    return NumberToRaw(datatype, text.c_str());
}

std::string ParseToRaw(int datatype, const std::string& text)
{
    if (datatype == DT_TEXT)
        return TextToRaw(Utf8ToWstring(text));
    return NumberToRaw(datatype, text.c_str());
}

std::string RawToUtf8B(int datatype, const void* data, int size)
{
    switch (datatype)
    {
    case DT_ENUM:
        return RawToUtf8<short>(data, size);
    case DT_TEXT:
        return RawToUtf8<std::wstring>(data, size);
    case DT_DOUBLE:
        return RawToUtf8<double>(data, size);
    case DT_BOOL:
        return RawToUtf8<bool>(data, size);
    case DT_FSAMPLE:
    case DT_FLOAT:
        return RawToUtf8<float>(data, size);
    case DT_INT:
        return RawToUtf8<int>(data, size);
    default:
        return {};
    }
}
