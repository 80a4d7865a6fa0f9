#include "shell/ModuleEntry.h"

#include <mutex>

#include "shell/KvGuard.h"

namespace
{
std::mutex entryMutex;
int entryCount = 0;
void* moduleHandle = nullptr;

bool Enter(void* handle)
{
    std::lock_guard<std::mutex> lock(entryMutex);
    if (entryCount > 0)
    {
        ++entryCount;
        return true;
    }
    moduleHandle = handle;
    if (!InitModule())
    {
        moduleHandle = nullptr;
        return false;
    }
    entryCount = 1;
    return true;
}

bool Leave()
{
    std::lock_guard<std::mutex> lock(entryMutex);
    // An exit without a matching entry is refused rather than counted below zero.
    if (entryCount == 0)
        return false;
    if (--entryCount > 0)
        return true;
    moduleHandle = nullptr;
    return DeinitModule();
}
} // namespace

void* ModuleHandle()
{
    std::lock_guard<std::mutex> lock(entryMutex);
    return moduleHandle;
}

extern "C"
{
bool ModuleEntry(void* sharedLibraryHandle)
{
    return KvGuard::Run("ModuleEntry", false, [&] { return Enter(sharedLibraryHandle); });
}
bool ModuleExit()
{
    return KvGuard::Run("ModuleExit", false, [] { return Leave(); });
}
bool bundleEntry(void* bundleRef)
{
    return KvGuard::Run("bundleEntry", false, [&] { return Enter(bundleRef); });
}
bool bundleExit()
{
    return KvGuard::Run("bundleExit", false, [] { return Leave(); });
}
}
