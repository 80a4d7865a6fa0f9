#pragma once
// Edits of wide and narrow text: case, replacement, trimming, legal names,
// quoting, and name-to-number tables.

#include <string>

// Edited copies, except where the text is passed by reference.
std::wstring MakeProper(std::wstring text);
std::wstring Uppercase(std::wstring text);
std::wstring Lowercase(std::wstring text);
std::wstring& replacein(std::wstring& text, const std::wstring& find, const std::wstring& replacement);
std::wstring ReplaceUnderscores(std::wstring text);
std::wstring RemoveSpaces(std::wstring text);
std::wstring TrimLeft(std::wstring text);
std::wstring TrimRight(std::wstring text);
std::wstring Trim(std::wstring text);
void MakeLegalVariableName(std::wstring& text);
void MakeLegalXml(std::wstring& text);
std::string QuoteStringIfSpaces(const std::string& text);
std::string UnQuoteStringIfSpaces(const std::string& text);

// A row of a name-to-number table.
struct TextToIntStruct2
{
    const char* name;
    int value;
};

// value := defaultValue; empty text or a matching row gives true.
bool LookupEnum(const std::string& text, const TextToIntStruct2* table, int count, int defaultValue, int* value);
// Name of the first row with that value, or empty text.
std::string LookupEnum(const TextToIntStruct2* table, int count, int value);
