#pragma once
// Path helpers on wide strings. Both "\" and "/" separate folders when reading;
// "/" is written.

#include <string>

// Text after the last "." of the last path element, lower case, without the dot.
std::wstring GetExtension(std::wstring path);
void decompose_filename(const std::wstring& full, std::wstring& name, std::wstring& folder, std::wstring& extension);
std::wstring combine_path_and_file(const std::wstring& path, const std::wstring& file);
// True when the path (in UTF-8) can be opened for reading.
bool FileExists(const std::wstring& path);
