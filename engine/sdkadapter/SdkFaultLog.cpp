#include "engine/sdkadapter/SdkFaultLog.h"

#include <atomic>
#include <cstdio>

namespace
{
struct Slot
{
    std::atomic<int> sequence{0}; // the note number it holds plus one, 0 while written
    char text[SdkFaultLog::kTextSize];
};

Slot slots[SdkFaultLog::kCapacity];
std::atomic<int> written{0};
} // namespace

void SdkFaultLog::Record(const wchar_t* moduleId, int handle, const char* where, const char* what)
{
    const int number = written.fetch_add(1);
    Slot& slot = slots[number % kCapacity];
    slot.sequence.store(0, std::memory_order_relaxed);
    // Module ids are narrowed character by character: no conversion that allocates.
    char id[64];
    int n = 0;
    for (; moduleId && moduleId[n] && n < static_cast<int>(sizeof(id)) - 1; ++n)
        id[n] = moduleId[n] < 128 && moduleId[n] >= 32 ? static_cast<char>(moduleId[n]) : '?';
    id[n] = 0;
    std::snprintf(slot.text, sizeof(slot.text), "SDK module \"%s\" [%d] threw in %s (%s); silenced", id, handle,
                  where ? where : "?", what ? what : "?");
    slot.sequence.store(number + 1, std::memory_order_release);
}

std::vector<std::string> SdkFaultLog::Entries()
{
    std::vector<std::string> entries;
    const int total = written.load();
    const int from = total > kCapacity ? total - kCapacity : 0;
    for (int number = from; number < total; ++number)
    {
        const Slot& slot = slots[number % kCapacity];
        if (slot.sequence.load(std::memory_order_acquire) == number + 1)
            entries.emplace_back(slot.text);
    }
    return entries;
}

int SdkFaultLog::Count()
{
    return written.load();
}
