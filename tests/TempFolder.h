#pragma once
// The temporary folders of the tests and fuzzers: each is made under TMPDIR
// (/tmp without it) as "kv-<tag>-XXXXXX" and removed, with all it holds, when
// its owner ends, a failed test included. A folder made once per process is
// a static TempFolder, removed at exit.
//
// A folder that cannot be made or removed is named on standard error and
// fails the program: it exits with status 1 however its tests went.

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace kv_test
{
class TempFolder
{
public:
    explicit TempFolder(const std::string& tag)
    {
        FailAtExitIfLeft();
        std::error_code error;
        const std::filesystem::path root = std::filesystem::temp_directory_path(error);
        std::string pattern = ((error ? std::filesystem::path("/tmp") : root) / ("kv-" + tag + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr)
        {
            std::fprintf(stderr, "TempFolder: could not make %s\n", pattern.c_str());
            Failed() = true;
            return;
        }
        path_ = pattern;
    }
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Removes the folder now; false, with a line saying so, when it stays.
    bool Remove()
    {
        if (path_.empty())
            return true;
        std::error_code error;
        std::filesystem::remove_all(path_, error);
        if (error || std::filesystem::exists(path_))
        {
            std::fprintf(stderr, "TempFolder: could not remove %s: %s\n", path_.c_str(),
                         error ? error.message().c_str() : "it is still there");
            Failed() = true;
            return false;
        }
        path_.clear();
        return true;
    }

private:
    static bool& Failed()
    {
        static bool failed = false;
        return failed;
    }
    // Registered before the first folder is made, so it runs after the
    // folders made once per process are removed at exit.
    static void FailAtExitIfLeft()
    {
        static const bool registered = std::atexit([] {
            if (Failed())
            {
                std::fflush(nullptr);
                std::_Exit(1);
            }
        }) == 0;
        (void)registered;
    }

    std::filesystem::path path_;
};
} // namespace kv_test
