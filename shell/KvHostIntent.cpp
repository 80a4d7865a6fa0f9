#include "shell/KvHostIntent.h"

#include "shell/KvClock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Steinberg::Vst;

namespace
{
constexpr std::size_t kRecord = sizeof(uint32_t) + sizeof(double);
} // namespace

KvHostIntent::KvHostIntent()
    : deliveries_(std::make_unique<std::atomic<uint32_t>[]>(kSlots)),
      announcedAt_(std::make_unique<std::atomic<int64_t>[]>(kSlots))
{
    for (std::size_t i = 0; i < kSlots; ++i)
    {
        deliveries_[i].store(0, std::memory_order_relaxed);
        announcedAt_[i].store(0, std::memory_order_relaxed);
    }
}

std::vector<unsigned char> KvHostIntent::Message(ParamID id, double value)
{
    std::vector<unsigned char> bytes(kRecord);
    const auto raw = static_cast<uint32_t>(id);
    std::memcpy(bytes.data(), &raw, sizeof(raw));
    std::memcpy(bytes.data() + sizeof(raw), &value, sizeof(value));
    return bytes;
}

bool KvHostIntent::Announce(const void* bytes, std::size_t size)
{
    if (bytes == nullptr || size % kRecord != 0)
        return false;
    const auto* at = static_cast<const unsigned char*>(bytes);
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t offset = 0; offset < size; offset += kRecord)
    {
        uint32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, at + offset, sizeof(id));
        std::memcpy(&value, at + offset + sizeof(id), sizeof(value));
        const int slot = Slot(id);
        if (slot < 0 || !std::isfinite(value))
            continue;
        // Each parameter's newest only, in the place of its last value.
        announced_.erase(std::remove_if(announced_.begin(), announced_.end(),
                                        [&](const Announced& a) { return a.id == id; }),
                         announced_.end());
        announced_.push_back(
            {id, std::clamp(value, 0.0, 1.0), deliveries_[static_cast<std::size_t>(slot)].load(std::memory_order_acquire)});
        announcedAt_[static_cast<std::size_t>(slot)].store(KvClock::Now(), std::memory_order_release);
    }
    return true;
}

void KvHostIntent::Forget()
{
    std::lock_guard<std::mutex> lock(mutex_);
    announced_.clear();
}

std::vector<KvFirstSampleValue> KvHostIntent::TakeUndelivered()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<KvFirstSampleValue> undelivered;
    for (const Announced& a : announced_)
    {
        const auto slot = static_cast<std::size_t>(Slot(a.id));
        if (deliveries_[slot].load(std::memory_order_acquire) != a.deliveries)
            continue;
        KvFirstSampleValue& value = undelivered.emplace_back();
        value.id = a.id;
        value.value = a.value;
    }
    announced_.clear();
    return undelivered;
}
