#include "shell/BundleInfo.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace
{
// Any object in this shared object will do as the address handed to dladdr.
const char kModuleAnchor = 0;

// Everything before the last "/" of `path`; false when there is none.
bool CutLastElement(std::string& path, std::string* element = nullptr)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    if (element)
        *element = path.substr(slash + 1);
    path.erase(slash);
    return true;
}

// Drops "." elements and repeated "/" from a path. ".." is kept: taking it
// out by text would differ from the file system where a link precedes it.
std::string WithoutDotElements(const std::string& path)
{
    std::string result;
    if (!path.empty() && path.front() == '/')
        result.push_back('/');
    std::size_t start = 0;
    while (start < path.size())
    {
        auto end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::size_t length = end - start;
        if (length > 0 && path.compare(start, length, ".") != 0)
        {
            if (!result.empty() && result.back() != '/')
                result.push_back('/');
            result.append(path, start, length);
        }
        start = end + 1;
    }
    return result;
}

bool LeavesFolder(const std::string& name)
{
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        return true;
    std::size_t start = 0;
    while (start <= name.size())
    {
        auto end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
} // namespace

const BundleInfo& BundleInfo::Own()
{
    static const BundleInfo own = [] {
        std::string path = ModulePathOf(&kModuleAnchor);
        if (path.empty())
        {
            std::fprintf(stderr, "BundleInfo: could not determine bundle location.\n");
            return BundleInfo();
        }
        // A module opened by a relative path stays findable after the host
        // changes its working folder; the path is made absolute, not resolved.
        if (path.front() != '/')
        {
            char cwd[4096];
            if (getcwd(cwd, sizeof(cwd)))
                path = std::string(cwd) + "/" + path;
        }
        return FromModulePath(path);
    }();
    return own;
}

std::string BundleInfo::ModulePathOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

BundleInfo BundleInfo::FromModulePath(const std::string& modulePath)
{
    std::string path = WithoutDotElements(modulePath);
    std::string contents;
    // Drop the file name, then the architecture folder, then "Contents".
    if (CutLastElement(path) && CutLastElement(path) && CutLastElement(path, &contents) &&
        contents == "Contents" && !path.empty())
        return BundleInfo(std::move(path));

    std::fprintf(stderr, "BundleInfo: \"%s\" is not inside a bundle (<Name>.vst3/Contents/<arch>/).\n",
                 modulePath.c_str());
    return BundleInfo();
}

std::string BundleInfo::name() const
{
    auto slash = bundlePath_.rfind('/');
    std::string folder = slash == std::string::npos ? bundlePath_ : bundlePath_.substr(slash + 1);
    const std::string suffix = ".vst3";
    if (folder.size() > suffix.size() && folder.compare(folder.size() - suffix.size(), suffix.size(), suffix) == 0)
        folder.erase(folder.size() - suffix.size());
    return folder;
}

std::string BundleInfo::resourcesPath() const
{
    return valid() ? bundlePath_ + "/Contents/Resources/" : std::string();
}

std::string BundleInfo::plugInsPath() const
{
    return valid() ? bundlePath_ + "/Contents/PlugIns/" : std::string();
}

std::string BundleInfo::readResource(const std::string& name) const
{
    if (!valid())
    {
        std::fprintf(stderr, "BundleInfo: no bundle to read \"%s\" from.\n", name.c_str());
        return {};
    }
    if (LeavesFolder(name))
    {
        std::fprintf(stderr, "BundleInfo: refused resource name \"%s\".\n", name.c_str());
        return {};
    }

    const std::string path = resourcesPath() + name;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
    {
        std::fprintf(stderr, "BundleInfo: cannot open \"%s\": %s\n", path.c_str(), std::strerror(errno));
        return {};
    }

    // Read until the end rather than trusting a size taken beforehand: the
    // file may change underneath, and the cap bounds what is allocated.
    std::string text;
    char chunk[16384];
    for (;;)
    {
        const std::size_t got = std::fread(chunk, 1, sizeof(chunk), file.get());
        if (got > 0)
        {
            if (text.size() + got > kMaxResourceBytes)
            {
                std::fprintf(stderr, "BundleInfo: \"%s\" is larger than %zu bytes.\n", path.c_str(),
                             kMaxResourceBytes);
                return {};
            }
            text.append(chunk, got);
        }
        if (got < sizeof(chunk))
            break;
    }
    if (std::ferror(file.get()))
    {
        std::fprintf(stderr, "BundleInfo: error reading \"%s\".\n", path.c_str());
        return {};
    }
    return text;
}
