#include "shell/KvHostIntent.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Steinberg::Vst;

namespace
{
constexpr std::size_t kRecord = sizeof(uint32_t) + sizeof(double) + sizeof(int64_t);
} // namespace

KvHostIntent::KvHostIntent() : slots_(std::make_unique<SlotState[]>(kSlots)) {}

std::vector<unsigned char> KvHostIntent::Message(const std::vector<HostValue>& values)
{
    std::vector<unsigned char> bytes(values.size() * kRecord);
    unsigned char* at = bytes.data();
    for (const HostValue& value : values)
    {
        const auto raw = static_cast<uint32_t>(value.id);
        std::memcpy(at, &raw, sizeof(raw));
        std::memcpy(at + sizeof(raw), &value.value, sizeof(value.value));
        std::memcpy(at + sizeof(raw) + sizeof(value.value), &value.moment, sizeof(value.moment));
        at += kRecord;
    }
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
        HostValue value;
        uint32_t id = 0;
        std::memcpy(&id, at + offset, sizeof(id));
        std::memcpy(&value.value, at + offset + sizeof(id), sizeof(value.value));
        std::memcpy(&value.moment, at + offset + sizeof(id) + sizeof(value.value), sizeof(value.moment));
        value.id = id;
        if (Slot(id) < 0 || !std::isfinite(value.value))
            continue;
        value.value = std::clamp(value.value, 0.0, 1.0);
        Add(value);
    }
    // The marked entries are swept once they are half of what waits.
    if (dead_ * 2 > announced_.size())
        Compact();
    return true;
}

void KvHostIntent::Add(const HostValue& value)
{
    // Older than the last state set: the state holds what came before it.
    if (value.moment <= forgottenUntil_)
        return;
    SlotState& slot = slots_[static_cast<std::size_t>(Slot(value.id))];
    Raise(slot.announcedAt, value.moment);
    Announced entry{value, true};
    // A value set on another thread may come after newer ones: it takes
    // its place in the host's order.
    if (!announced_.empty() && value.moment < announced_.back().value.moment)
    {
        const auto place = std::upper_bound(announced_.begin(), announced_.end(), value.moment,
                                            [](int64_t m, const Announced& a) { return m < a.value.moment; });
        announced_.insert(place, entry);
        Compact();
        return;
    }
    if (value.id == kProgramChange)
    {
        // A choice with no value after the one before replaces it.
        auto last = std::find_if(announced_.rbegin(), announced_.rend(), [](const Announced& a) { return a.live; });
        if (last != announced_.rend() && last->value.id == kProgramChange)
            last->live = false, ++dead_;
        newestOfRun_.clear();
    }
    else if (const auto newest = newestOfRun_.find(value.id); newest != newestOfRun_.end())
        announced_[newest->second].live = false, ++dead_;
    if (value.id != kProgramChange)
        newestOfRun_[value.id] = announced_.size();
    announced_.push_back(entry);
    if (announced_.size() - dead_ > kMostWaiting)
    {
        Compact();
        announced_.front().live = false;
        Compact();
    }
}

void KvHostIntent::Compact()
{
    // Each run's newest of each parameter, in order; runs end at a program
    // choice, and a choice with no value after the one before replaces it.
    newestOfRun_.clear();
    std::size_t lastLive = announced_.size();
    for (std::size_t i = 0; i < announced_.size(); ++i)
    {
        Announced& entry = announced_[i];
        if (!entry.live)
            continue;
        if (entry.value.id == kProgramChange)
        {
            if (lastLive < announced_.size() && announced_[lastLive].value.id == kProgramChange)
                announced_[lastLive].live = false;
            newestOfRun_.clear();
        }
        else
        {
            if (const auto newest = newestOfRun_.find(entry.value.id); newest != newestOfRun_.end())
                announced_[newest->second].live = false;
            newestOfRun_[entry.value.id] = i;
        }
        lastLive = i;
    }
    announced_.erase(std::remove_if(announced_.begin(), announced_.end(), [](const Announced& a) { return !a.live; }),
                     announced_.end());
    newestOfRun_.clear();
    for (std::size_t i = 0; i < announced_.size(); ++i)
    {
        if (announced_[i].value.id == kProgramChange)
            newestOfRun_.clear();
        else
            newestOfRun_[announced_[i].value.id] = i;
    }
    dead_ = 0;
}

void KvHostIntent::Forget(int64_t moment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    forgottenUntil_ = std::max(forgottenUntil_, moment);
    for (Announced& entry : announced_)
        entry.live = entry.live && entry.value.moment > moment;
    Compact();
}

void KvHostIntent::Delivered(ParamID id, int64_t blockMoment)
{
    const int slot = Slot(id);
    if (slot < 0)
        return;
    if (id == kProgramChange)
    {
        // The host chose the program the block brings when it told the
        // controller, or, told only through the block, when the block began.
        const int64_t chosen = FreshMoment(id);
        Raise(programPlayedAt_, chosen != 0 ? chosen : blockMoment);
    }
    Raise(slots_[static_cast<std::size_t>(slot)].deliveredAt, blockMoment);
}

void KvHostIntent::Raise(std::atomic<int64_t>& moment, int64_t to)
{
    int64_t seen = moment.load(std::memory_order_relaxed);
    while (to > seen && !moment.compare_exchange_weak(seen, to, std::memory_order_acq_rel))
    {
    }
}

int64_t KvHostIntent::FreshMoment(ParamID id) const
{
    const int slot = Slot(id);
    if (slot < 0)
        return 0;
    const SlotState& state = slots_[static_cast<std::size_t>(slot)];
    const int64_t at = state.announcedAt.load(std::memory_order_acquire);
    return at > state.deliveredAt.load(std::memory_order_acquire) ? at : 0;
}

std::vector<KvFirstSampleValue> KvHostIntent::TakeUndelivered()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t played = programPlayedAt_.load(std::memory_order_acquire);
    std::vector<KvFirstSampleValue> undelivered;
    for (const Announced& a : announced_)
    {
        // A block that began after the host set it brought this or a newer value.
        const SlotState& slot = slots_[static_cast<std::size_t>(Slot(a.value.id))];
        if (slot.deliveredAt.load(std::memory_order_acquire) > a.value.moment || a.value.moment < played)
            continue;
        KvFirstSampleValue& value = undelivered.emplace_back();
        value.id = a.value.id;
        value.value = a.value.value;
    }
    announced_.clear();
    newestOfRun_.clear();
    dead_ = 0;
    return undelivered;
}
