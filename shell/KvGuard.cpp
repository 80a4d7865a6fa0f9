#include "shell/KvGuard.h"

#include <cstdio>

namespace KvGuard
{
namespace
{
std::atomic<int> reports{0};
} // namespace

int ReportCount() noexcept
{
    return reports.load();
}

void Report(const char* where, const char* what) noexcept
{
    reports.fetch_add(1);
    std::fprintf(stderr, "Korvane: %s failed: exception \"%s\" stopped at the plug-in's boundary.\n",
                 where ? where : "?", what ? what : "");
}

void ReportCounted(const char* where, std::atomic<int>& count) noexcept
{
    const int n = count.exchange(0, std::memory_order_relaxed);
    if (n <= 0)
        return;
    reports.fetch_add(n);
    std::fprintf(stderr, "Korvane: %s failed %d time(s): exceptions stopped at the plug-in's boundary.\n",
                 where ? where : "?", n);
}
} // namespace KvGuard
