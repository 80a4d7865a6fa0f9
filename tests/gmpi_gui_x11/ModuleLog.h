#pragma once
// What the test modules of KvGmpiTest write to the log file that
// KV_GMPI_TEST_LOG names: one line per event ("menu 0 2", "text 0 0 typed").
// The log is the test's own and goes with it.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TempFolder.h"

namespace x11_test
{
class ModuleLog
{
public:
    ModuleLog() : path_(folder_.path() / "log") { setenv("KV_GMPI_TEST_LOG", path_.c_str(), 1); }
    ~ModuleLog() { unsetenv("KV_GMPI_TEST_LOG"); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }
    bool has(const std::string& line) const
    {
        const auto all = lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    // A line that begins with `start`.
    bool hasStart(const std::string& start) const
    {
        const auto all = lines();
        return std::any_of(all.begin(), all.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    }
    std::string text() const
    {
        std::string all;
        for (const auto& line : lines())
            all += line + "\n";
        return all;
    }

private:
    kv_test::TempFolder folder_{"gmpi-log"};
    std::filesystem::path path_;
};
} // namespace x11_test
