#include "core/string_edits.h"

#include <algorithm>
#include <cwctype>
#include <utility>

std::wstring MakeProper(std::wstring text)
{
    bool startOfWord = true;
    for (auto& c : text)
    {
        c = startOfWord ? static_cast<wchar_t>(std::towupper(c)) : static_cast<wchar_t>(std::towlower(c));
        startOfWord = c == L' ';
    }
    return text;
}

std::wstring Uppercase(std::wstring text)
{
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring Lowercase(std::wstring text)
{
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring& replacein(std::wstring& text, const std::wstring& find, const std::wstring& replacement)
{
    if (find.empty())
        return text;
    size_t position = 0;
    while ((position = text.find(find, position)) != std::wstring::npos)
    {
        text.replace(position, find.size(), replacement);
        position += replacement.size();
    }
    return text;
}

std::wstring ReplaceUnderscores(std::wstring text)
{
    std::replace(text.begin(), text.end(), L'_', L' ');
    return text;
}

std::wstring RemoveSpaces(std::wstring text)
{
    text.erase(std::remove(text.begin(), text.end(), L' '), text.end());
    return text;
}

std::wstring TrimLeft(std::wstring text)
{
    const auto first = std::find_if(text.begin(), text.end(), [](wchar_t c) { return !std::iswspace(c); });
    text.erase(text.begin(), first);
    return text;
}

std::wstring TrimRight(std::wstring text)
{
    const auto last = std::find_if(text.rbegin(), text.rend(), [](wchar_t c) { return !std::iswspace(c); });
    text.erase(last.base(), text.end());
    return text;
}

std::wstring Trim(std::wstring text)
{
    return TrimLeft(TrimRight(std::move(text)));
}

void MakeLegalVariableName(std::wstring& text)
{
    // ASCII punctuation except '"', '\'', '-', '_' and '`'.
    static const std::wstring illegal = L"!#$%&()*+,./:;<=>?@[\\]^{|}~";
    text = Trim(text);
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](wchar_t c) { return illegal.find(c) != std::wstring::npos; }),
               text.end());
    for (auto& c : text)
    {
        if (c == L' ' || c == L'-')
            c = L'_';
    }
}

void MakeLegalXml(std::wstring& text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](wchar_t c) { return c == L'"' || c == L'\\'; }),
               text.end());
}

std::string QuoteStringIfSpaces(const std::string& text)
{
    if (text.find(' ') == std::string::npos)
        return text;
    return "'" + text + "'";
}

std::string UnQuoteStringIfSpaces(const std::string& text)
{
    if (text.size() >= 2 && text.find(' ') != std::string::npos && text.front() == '\'' && text.back() == '\'')
        return text.substr(1, text.size() - 2);
    return text;
}

bool LookupEnum(const std::string& text, const TextToIntStruct2* table, int count, int defaultValue, int* value)
{
    if (value != nullptr)
        *value = defaultValue;
    if (text.empty())
        return true;
    for (int i = 0; table != nullptr && i < count; ++i)
    {
        if (table[i].name != nullptr && text == table[i].name)
        {
            if (value != nullptr)
                *value = table[i].value;
            return true;
        }
    }
    return false;
}

std::string LookupEnum(const TextToIntStruct2* table, int count, int value)
{
    for (int i = 0; table != nullptr && i < count; ++i)
    {
        if (table[i].value == value && table[i].name != nullptr)
            return table[i].name;
    }
    return {};
}
