#include "core/conversion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <locale.h>
#include <stdlib.h>
#include <wchar.h>

namespace
{

// Number parsing goes through the "C" locale so that "." is the decimal
// separator even when the host has set another locale.
locale_t CLocale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// printf-style "%.*g" / "%.*f" without the locale.
std::string FormatDouble(double value, std::chars_format format, int precision)
{
    precision = std::clamp(precision, 0, 1000);
    std::string out(static_cast<size_t>(precision) + 340, '\0');
    const auto result = std::to_chars(out.data(), out.data() + out.size(), value, format, precision);
    out.resize(result.ec == std::errc() ? static_cast<size_t>(result.ptr - out.data()) : 0);
    return out;
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring DecodeUtf8(const unsigned char* bytes, size_t count)
{
    std::wstring out;
    out.reserve(count);
    size_t i = 0;
    while (i < count)
    {
        const unsigned lead = bytes[i++];
        if (lead < 0x80)
        {
            out.push_back(static_cast<wchar_t>(lead));
            continue;
        }
        if (lead < 0xC0) // continuation byte without a lead byte
        {
            out.push_back(0);
            continue;
        }

        uint32_t codePoint;
        size_t extra;
        if (lead < 0xE0)
        {
            codePoint = lead & 0x1F;
            extra = 1;
        }
        else if (lead < 0xF0)
        {
            codePoint = lead & 0x0F;
            extra = 2;
        }
        else
        {
            codePoint = lead & 0x07;
            extra = 3;
        }
        if (count - i < extra) // cut short by the end of the text
            break;
        for (size_t k = 0; k < extra; ++k)
            codePoint = (codePoint << 6) | (bytes[i++] & 0x3Fu);

        if (codePoint >= 0x10000)
        {
            out.push_back(static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
        }
        else
        {
            out.push_back(static_cast<wchar_t>(codePoint));
        }
    }
    return out;
}

bool IsOnlyZerosAndPoints(const std::string& text, size_t from)
{
    return text.find_first_not_of("0.", from) == std::string::npos;
}

} // namespace

int32_t id_to_long(const char* id)
{
    if (id == nullptr)
        return 0;
    uint32_t result = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t c = ended ? 0u : static_cast<unsigned char>(id[i]);
        ended = ended || c == 0;
        result = (result << 8) | c;
    }
    return static_cast<int32_t>(result);
}

int32_t id_to_long(const std::wstring& id)
{
    const std::wstring padded = id + L"    ";
    uint32_t result = 0;
    for (int i = 0; i < 4; ++i)
        result += static_cast<uint32_t>(padded[static_cast<size_t>(i)]) << (8 * (3 - i));
    return static_cast<int32_t>(result);
}

std::wstring long_to_id(int32_t id)
{
    std::wstring result;
    const auto bits = static_cast<uint32_t>(id);
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        const auto c = static_cast<wchar_t>((bits >> shift) & 0xFF);
        if (c == 0)
            break;
        result.push_back(c);
    }
    return result;
}

std::wstring Utf8ToWstring(const char* text)
{
    if (text == nullptr)
        return {};
    return DecodeUtf8(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

std::wstring Utf8ToWstring(const std::string& text)
{
    return DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string WStringToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i)
    {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF)
        {
            if (i + 1 >= n) // a lone high surrogate at the end is dropped
                break;
            const auto low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }

        if (c < 0x80)
        {
            out.push_back(static_cast<char>(c));
        }
        else if (c < 0x800)
        {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else if (c < 0x10000)
        {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        else
        {
            // Characters beyond 21 bits cannot be encoded; keep the lead byte well-formed.
            out.push_back(static_cast<char>(0xF0 | ((c >> 18) & 0x07)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring ToWstring(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (const char c : text)
        out.push_back(static_cast<wchar_t>(static_cast<signed char>(c)));
    return out;
}

std::wstring ToWstring(const char* text)
{
    if (text == nullptr)
        return {};
    return ToWstring(std::string(text));
}

std::wstring BytesToCString(const char* text)
{
    return ToWstring(text);
}

void WStringToWchars(const std::wstring& text, wchar_t* destination, int capacity)
{
    if (destination == nullptr || capacity <= 0)
        return;
    const size_t count = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::wmemcpy(destination, text.data(), count);
    destination[count] = 0;
}

void StringToChars(const std::string& text, char* destination, int capacity)
{
    if (destination == nullptr || capacity <= 0)
        return;
    size_t count = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    // Cut before a character whose bytes run past the buffer.
    while (count > 0 && count < text.size() && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80)
        --count;
    std::memcpy(destination, text.data(), count);
    destination[count] = 0;
}

void Utf8ToChar16s(const std::string& text, char16_t* destination, int capacity)
{
    if (destination == nullptr || capacity <= 0)
        return;
    const std::wstring units = Utf8ToWstring(text);
    size_t count = std::min(units.size(), static_cast<size_t>(capacity) - 1);
    // Half a surrogate pair is not a character.
    if (count > 0 && count < units.size() && units[count - 1] >= 0xD800 && units[count - 1] <= 0xDBFF)
        --count;
    for (size_t i = 0; i < count; ++i)
        destination[i] = units[i] == 0 ? u'?' : static_cast<char16_t>(units[i]);
    destination[count] = 0;
}

std::string ValidUtf8(const std::string& text, size_t* validCharacters)
{
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    size_t valid = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t count = text.size();
    size_t i = 0;
    while (i < count)
    {
        const unsigned lead = bytes[i];
        if (lead < 0x80)
        {
            out.push_back(static_cast<char>(lead));
            ++valid;
            ++i;
            continue;
        }
        // The continuation bytes a lead byte takes, and the range of the
        // first of them (which rules out overlong forms, surrogates and
        // code points past U+10FFFF).
        size_t extra = 0;
        unsigned low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            extra = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            extra = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        size_t taken = 1;
        while (extra > 0 && taken <= extra && i + taken < count)
        {
            const unsigned next = bytes[i + taken];
            if (next < low || next > high)
                break;
            low = 0x80;
            high = 0xBF;
            ++taken;
        }
        if (extra > 0 && taken == extra + 1)
        {
            out.append(text, i, taken);
            ++valid;
        }
        else
        {
            out.append(kReplacement);
        }
        i += taken;
    }
    if (validCharacters)
        *validCharacters = valid;
    return out;
}

double StringToDouble(const wchar_t* text)
{
    if (text == nullptr)
        return 0.0;
    const locale_t loc = CLocale();
    return loc ? wcstod_l(text, nullptr, loc) : std::wcstod(text, nullptr);
}

double StringToDouble(const char* text)
{
    if (text == nullptr)
        return 0.0;
    const locale_t loc = CLocale();
    return loc ? strtod_l(text, nullptr, loc) : std::strtod(text, nullptr);
}

double StringToDouble(const std::wstring& text)
{
    return StringToDouble(text.c_str());
}

float StringToFloat(const std::wstring& text)
{
    return static_cast<float>(StringToDouble(text));
}

int StringToInt(const wchar_t* text, int base)
{
    if (text == nullptr)
        return 0;
    return static_cast<int>(std::wcstol(text, nullptr, base));
}

int StringToInt(const char* text, int base)
{
    if (text == nullptr)
        return 0;
    return static_cast<int>(std::strtol(text, nullptr, base));
}

int StringToInt(const std::wstring& text, int base)
{
    return StringToInt(text.c_str(), base);
}

std::string IntToUtf8(int value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

std::string DoubleToUtf8(double value)
{
    return FormatDouble(value, std::chars_format::general, 6);
}

std::wstring IntToString(int value)
{
    return Widen(IntToUtf8(value));
}

std::wstring DoubleToString(double value)
{
    return Widen(DoubleToUtf8(value));
}

std::wstring FloatToString(float value, int decimals)
{
    std::string text = decimals >= 0 ? FormatDouble(value, std::chars_format::fixed, decimals)
                                     : FormatDouble(value, std::chars_format::general, 3);
    // A tiny negative value must not read as "-0.00".
    if (value > -1.0f && !text.empty() && text[0] == '-' && IsOnlyZerosAndPoints(text, 1))
        text.erase(0, 1);
    return Widen(text);
}

std::string DoubleToXmlString(double value, int decimals)
{
    const int precision = decimals < 0 ? 6 : decimals;
    std::string text = FormatDouble(value, std::chars_format::general, precision);
    if (text.find('e') != std::string::npos)
        text = FormatDouble(value, std::chars_format::fixed, precision);
    return text;
}

std::string DoubleToFixedUtf8(double value, int decimals)
{
    return FormatDouble(value, std::chars_format::fixed, std::clamp(decimals, 0, 12));
}

std::string FloatToExactUtf8(float value)
{
    std::string text = DoubleToUtf8(value);
    const auto back = static_cast<float>(StringToDouble(text.c_str()));
    if (std::memcmp(&back, &value, sizeof(float)) == 0 || std::isnan(value))
        return text;
    return FormatDouble(value, std::chars_format::general, 9);
}

std::string DoubleToExactUtf8(double value)
{
    return FormatDouble(value, std::chars_format::general, 17);
}
