#pragma once
// Text conversions per value type: parse from wide text (user interface) or
// UTF-8 text (XML), and format for XML. Parsing never fails: text that does
// not begin with a number gives 0, and a null text counts as empty.
//
// Kept as stored documents expect: bool parses as a number ("true" is false)
// and is written "1"/"0"; floats are written with 6 significant digits.

#include <string>

#include "core/MpBlob.h"

template <typename T>
struct MyTypeTraits;

template <>
struct MyTypeTraits<float>
{
    static void parse(const wchar_t* text, float& value);
    static void parse(const char* text, float& value);
    static std::string toXML(const float& value);
};

template <>
struct MyTypeTraits<double>
{
    static void parse(const wchar_t* text, double& value);
    static void parse(const char* text, double& value);
    static std::string toXML(const double& value);
};

template <>
struct MyTypeTraits<int>
{
    static void parse(const wchar_t* text, int& value);
    static void parse(const char* text, int& value);
    static std::string toXML(const int& value);
};

// Enum values: parsed as int, truncated to 16 bits.
template <>
struct MyTypeTraits<short>
{
    static void parse(const wchar_t* text, short& value);
    static void parse(const char* text, short& value);
    static std::string toXML(const short& value);
};

template <>
struct MyTypeTraits<bool>
{
    static void parse(const wchar_t* text, bool& value);
    static void parse(const char* text, bool& value);
    static std::string toXML(const bool& value);
};

template <>
struct MyTypeTraits<std::wstring>
{
    static void parse(const wchar_t* text, std::wstring& value);
    static void parse(const char* text, std::wstring& value);
    static std::string toXML(const std::wstring& value);
};

// Text form of a blob is Base64. Wide text leaves the blob unchanged.
template <>
struct MyTypeTraits<MpBlob>
{
    static void parse(const wchar_t* text, MpBlob& value);
    static void parse(const char* text, MpBlob& value);
    static std::string toXML(const MpBlob& value);
};
