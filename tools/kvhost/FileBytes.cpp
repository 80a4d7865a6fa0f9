#include "tools/kvhost/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
} // namespace

bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<char>& bytes, std::string& error)
{
    bytes.clear();
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
    {
        error = "cannot open \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    char chunk[65536];
    for (;;)
    {
        const std::size_t got = std::fread(chunk, 1, sizeof(chunk), file.get());
        if (bytes.size() + got > maxBytes)
        {
            error = "\"" + path + "\" is larger than " + std::to_string(maxBytes) + " bytes";
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof(chunk))
            break;
    }
    if (std::ferror(file.get()))
    {
        error = "error reading \"" + path + "\"";
        bytes.clear();
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<char>& bytes, std::string& error)
{
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file)
    {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed)
    {
        error = "error writing \"" + path + "\"";
        return false;
    }
    return true;
}
