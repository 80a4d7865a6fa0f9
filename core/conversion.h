#pragma once
// Text helpers used throughout: four-character ids, UTF-8 and wide-string
// conversions and numbers to and from text. Also brings in the string, path
// and numeric helpers.
// Wide strings hold one 32-bit character per element.
// Number texts always use "." as the decimal separator, whatever the locale.

#include <cstdint>
#include <string>

#include "core/file_helpers.h"
#include "core/numeric_helpers.h"
#include "core/string_edits.h"

// Four-character message ids, first character in the top byte.
int32_t id_to_long(const char* id);
int32_t id_to_long(const std::wstring& id);
std::wstring long_to_id(int32_t id);

// UTF-8 <-> wide text. Code points above 0xFFFF become surrogate pairs.
std::wstring Utf8ToWstring(const char* text);
std::wstring Utf8ToWstring(const std::string& text);
std::string WStringToUtf8(const std::wstring& text);

// One character per byte, the byte taken as a signed 8-bit number. For ASCII text.
std::wstring ToWstring(const std::string& text);
std::wstring ToWstring(const char* text);
std::wstring BytesToCString(const char* text);

// Copy into a fixed buffer; when capacity > 0 the result is always terminated.
void WStringToWchars(const std::wstring& text, wchar_t* destination, int capacity);
// A UTF-8 character that does not fit whole is left out.
void StringToChars(const std::string& text, char* destination, int capacity);
// UTF-8 into UTF-16 units, decoded as Utf8ToWstring does; a surrogate pair
// that does not fit whole is left out, and a zero (a stray continuation byte
// among them) becomes '?'.
void Utf8ToChar16s(const std::string& text, char16_t* destination, int capacity);
// Well-formed UTF-8: each maximal ill-formed part of the text (a stray or
// missing continuation byte, an overlong form, an encoded surrogate, a code
// point past U+10FFFF) becomes U+FFFD. `validCharacters`, when given, is set
// to the number of characters that were well-formed to begin with.
std::string ValidUtf8(const std::string& text, size_t* validCharacters = nullptr);

// C-library conversions (leading white space skipped, longest valid prefix); bad text gives 0.
double StringToDouble(const std::wstring& text);
double StringToDouble(const wchar_t* text);
double StringToDouble(const char* text);
float StringToFloat(const std::wstring& text);
int StringToInt(const std::wstring& text, int base = 10);
int StringToInt(const wchar_t* text, int base = 10);
int StringToInt(const char* text, int base = 10);

// Default stream formatting: ints in decimal, doubles in general notation with
// 6 significant digits ("0.5", "1e-07", "1.23457e+06").
std::wstring IntToString(int value);
std::wstring DoubleToString(double value);
std::string IntToUtf8(int value);
std::string DoubleToUtf8(double value);

// decimals >= 0: fixed notation; decimals < 0: 3 significant digits. Never "-0.00".
std::wstring FloatToString(float value, int decimals = -1);
// General notation with that precision (6 when negative), never with an exponent.
std::string DoubleToXmlString(double value, int decimals = -1);
// Fixed notation with that many decimals (0 to 12), as printf's "%.*f" in the C locale.
std::string DoubleToFixedUtf8(double value, int decimals);

// Saved values: texts that StringToDouble reads back to the same bits. A
// float has 6 significant digits where they are enough, else 9; a double 17.
std::string FloatToExactUtf8(float value);
std::string DoubleToExactUtf8(double value);
