#pragma once
// Where SDK module adapters note a module that threw and was silenced. The
// audio thread writes without allocating or locking into a fixed ring; the
// user-interface thread reads the notes. Process-wide.

#include <string>
#include <vector>

class SdkFaultLog
{
public:
    static constexpr int kCapacity = 32;
    static constexpr int kTextSize = 256;

    // Any thread; the text is cut to fit.
    static void Record(const wchar_t* moduleId, int handle, const char* where, const char* what);
    // The notes kept, oldest first (user-interface thread).
    static std::vector<std::string> Entries();
    // How many notes were ever recorded.
    static int Count();
};
