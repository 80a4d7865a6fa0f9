#include "core/MyTypeTraits.h"

#include <cstdint>

#include "core/Base64.h"
#include "core/conversion.h"

// A null text parses like empty text: the conversions below all accept null.

void MyTypeTraits<float>::parse(const wchar_t* text, float& value)
{
    value = static_cast<float>(StringToDouble(text));
}

void MyTypeTraits<float>::parse(const char* text, float& value)
{
    value = static_cast<float>(StringToDouble(text));
}

std::string MyTypeTraits<float>::toXML(const float& value)
{
    return DoubleToUtf8(value);
}

void MyTypeTraits<double>::parse(const wchar_t* text, double& value)
{
    value = StringToDouble(text);
}

void MyTypeTraits<double>::parse(const char* text, double& value)
{
    value = StringToDouble(text);
}

std::string MyTypeTraits<double>::toXML(const double& value)
{
    return DoubleToUtf8(value);
}

void MyTypeTraits<int>::parse(const wchar_t* text, int& value)
{
    value = StringToInt(text);
}

void MyTypeTraits<int>::parse(const char* text, int& value)
{
    value = StringToInt(text);
}

std::string MyTypeTraits<int>::toXML(const int& value)
{
    return IntToUtf8(value);
}

void MyTypeTraits<short>::parse(const wchar_t* text, short& value)
{
    value = static_cast<short>(StringToInt(text));
}

void MyTypeTraits<short>::parse(const char* text, short& value)
{
    value = static_cast<short>(StringToInt(text));
}

std::string MyTypeTraits<short>::toXML(const short& value)
{
    return IntToUtf8(value);
}

void MyTypeTraits<bool>::parse(const wchar_t* text, bool& value)
{
    value = StringToInt(text) != 0;
}

void MyTypeTraits<bool>::parse(const char* text, bool& value)
{
    value = StringToInt(text) != 0;
}

std::string MyTypeTraits<bool>::toXML(const bool& value)
{
    return value ? "1" : "0";
}

void MyTypeTraits<std::wstring>::parse(const wchar_t* text, std::wstring& value)
{
    value = text == nullptr ? std::wstring() : std::wstring(text);
}

void MyTypeTraits<std::wstring>::parse(const char* text, std::wstring& value)
{
    value = Utf8ToWstring(text);
}

std::string MyTypeTraits<std::wstring>::toXML(const std::wstring& value)
{
    return WStringToUtf8(value);
}

void MyTypeTraits<MpBlob>::parse(const wchar_t*, MpBlob&) {}

void MyTypeTraits<MpBlob>::parse(const char* text, MpBlob& value)
{
    const std::string bytes = Base64::decode(text == nullptr ? std::string() : std::string(text));
    if (bytes.size() > static_cast<size_t>(INT32_MAX))
        return;
    value.setValueRaw(static_cast<int>(bytes.size()), bytes.data());
}

std::string MyTypeTraits<MpBlob>::toXML(const MpBlob& value)
{
    if (value.getSize() < 1)
        return {};
    return Base64::encode(std::string(value.getData(), static_cast<size_t>(value.getSize())));
}
