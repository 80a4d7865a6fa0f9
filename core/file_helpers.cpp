#include "core/file_helpers.h"

#include <cstdio>

#include "core/conversion.h"

namespace
{

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Position of the "." that starts the extension, or npos. A "." in the first
// character, or before the last separator, does not count.
size_t ExtensionDot(const std::wstring& path)
{
    const size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || dot == 0)
        return std::wstring::npos;
    const size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos && separator > dot)
        return std::wstring::npos;
    return dot;
}

} // namespace

std::wstring GetExtension(std::wstring path)
{
    const size_t dot = ExtensionDot(path);
    if (dot == std::wstring::npos)
        return {};
    return Lowercase(path.substr(dot + 1));
}

void decompose_filename(const std::wstring& full, std::wstring& name, std::wstring& folder, std::wstring& extension)
{
    extension = GetExtension(full);
    const size_t dot = ExtensionDot(full);
    const std::wstring stem = dot == std::wstring::npos ? full : full.substr(0, dot);

    size_t separator = stem.find_last_of(L'\\');
    if (separator == std::wstring::npos)
        separator = stem.find_last_of(L'/');

    if (separator == std::wstring::npos)
    {
        folder.clear();
        name = stem;
    }
    else
    {
        folder = stem.substr(0, separator + 1);
        name = stem.substr(separator + 1);
    }
}

std::wstring combine_path_and_file(const std::wstring& path, const std::wstring& file)
{
    std::wstring result = path;
    if (!result.empty() && !IsSeparator(result.back()))
        result += L'/';
    if (!file.empty() && IsSeparator(file.front()))
        result += file.substr(1);
    else
        result += file;
    return result;
}

bool FileExists(const std::wstring& path)
{
    if (path.empty())
        return false;
    std::FILE* file = std::fopen(WStringToUtf8(path).c_str(), "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}
