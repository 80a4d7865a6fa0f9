#include "shell/KvHostIntent.h"
#include "shell/KvClock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

using namespace Steinberg::Vst;

namespace
{
constexpr std::size_t kRecord = sizeof(uint32_t) + sizeof(double) + sizeof(int64_t);
} // namespace

KvHostIntent::KvHostIntent() : slots_(std::make_unique<SlotState[]>(kSlots)) {}

KvHostIntent::~KvHostIntent()
{
    delete published_.exchange(nullptr);
    delete spent_.exchange(nullptr);
    delete returning_;
}

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
    // A moment no call of the host's can have had (none, or one still to
    // come) is refused with its value.
    const int64_t now = KvClock::Now();
    std::vector<HostValue> values;
    values.reserve(size / kRecord);
    for (std::size_t offset = 0; offset < size; offset += kRecord)
    {
        HostValue value;
        uint32_t id = 0;
        std::memcpy(&id, at + offset, sizeof(id));
        std::memcpy(&value.value, at + offset + sizeof(id), sizeof(value.value));
        std::memcpy(&value.moment, at + offset + sizeof(id) + sizeof(value.value), sizeof(value.moment));
        value.id = id;
        if (Slot(id) < 0 || !std::isfinite(value.value) || value.moment <= 0 || value.moment > now)
            continue;
        value.value = std::clamp(value.value, 0.0, 1.0);
        values.push_back(value);
    }
    // In the host's order, which values set on other threads may not keep.
    std::stable_sort(values.begin(), values.end(),
                     [](const HostValue& a, const HostValue& b) { return a.moment < b.moment; });
    // Merged into what waits (a value set on another thread may be older
    // than values that wait), then one pass keeps each run's newest.
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Announced> merged;
    merged.reserve(announced_.size() + values.size());
    auto waiting = announced_.begin();
    for (const HostValue& value : values)
    {
        // Older than the last state set: the state holds what came before it.
        if (value.moment <= forgottenUntil_.load(std::memory_order_relaxed))
            continue;
        Raise(slots_[static_cast<std::size_t>(Slot(value.id))].announcedAt, value.moment);
        for (; waiting != announced_.end() && waiting->value.moment <= value.moment; ++waiting)
            merged.push_back(*waiting);
        merged.push_back({value, true, false});
    }
    merged.insert(merged.end(), waiting, announced_.end());
    announced_.swap(merged);
    Compact();
    // Beyond kMostWaiting values the oldest go.
    if (announced_.size() > kMostWaiting)
        announced_.erase(announced_.begin(), announced_.end() - static_cast<std::ptrdiff_t>(kMostWaiting));
    Publish();
    return true;
}

void KvHostIntent::Compact()
{
    // Each run's newest of each parameter, in order; runs end at a program
    // choice, and a choice with no value after the one before replaces it.
    // What the engine has is no longer waiting.
    std::unordered_map<ParamID, std::size_t> newestOfRun;
    std::size_t lastLive = announced_.size();
    std::size_t lastBypass = announced_.size();
    for (std::size_t i = 0; i < announced_.size(); ++i)
    {
        Announced& entry = announced_[i];
        if (entry.live && Settled(entry.value))
            entry.live = false;
        if (entry.live && entry.value.id == kBypass)
        {
            // The bypass is no program's: its newest only.
            if (lastBypass < announced_.size())
                announced_[lastBypass].live = false;
            lastBypass = i;
        }
        if (!entry.live)
            continue;
        if (entry.value.id == kProgramChange)
        {
            if (lastLive < announced_.size() && announced_[lastLive].value.id == kProgramChange)
                announced_[lastLive].live = false;
            newestOfRun.clear();
        }
        else
        {
            if (const auto newest = newestOfRun.find(entry.value.id); newest != newestOfRun.end())
                announced_[newest->second].live = false;
            newestOfRun[entry.value.id] = i;
        }
        lastLive = i;
    }
    announced_.erase(std::remove_if(announced_.begin(), announced_.end(), [](const Announced& a) { return !a.live; }),
                     announced_.end());
}

void KvHostIntent::Publish()
{
    // What the engine took since goes.
    if (std::any_of(announced_.begin(), announced_.end(), [&](const Announced& a) { return Settled(a.value); }))
        Compact();
    auto* list = new std::vector<Announced>();
    list->reserve(announced_.size());
    std::unordered_set<ParamID> seen;
    for (auto it = announced_.rbegin(); it != announced_.rend(); ++it)
        if (it->live)
        {
            list->push_back(*it);
            list->back().newest = seen.insert(it->value.id).second;
        }
    std::reverse(list->begin(), list->end());
    delete published_.exchange(list, std::memory_order_acq_rel);
    delete spent_.exchange(nullptr, std::memory_order_acq_rel);
}

void KvHostIntent::Forget(int64_t moment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Raise(forgottenUntil_, moment);
    Compact();
    Publish();
}

bool KvHostIntent::Settled(const HostValue& value) const
{
    const SlotState& slot = slots_[static_cast<std::size_t>(Slot(value.id))];
    return slot.takenAt.load(std::memory_order_acquire) >= value.moment ||
           value.moment <= forgottenUntil_.load(std::memory_order_acquire) ||
           (value.id != kBypass && value.moment < programTakenAt_.load(std::memory_order_acquire));
}

std::vector<KvHostIntent::Run> KvHostIntent::TakeUndelivered()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<const Announced*> waiting;
    for (const Announced& entry : announced_)
        if (entry.live && !Settled(entry.value))
            waiting.push_back(&entry);
    std::vector<Run> runs;
    for (const Announced* entry : waiting)
    {
        const bool program = entry->value.id == kProgramChange;
        if (runs.empty() || program || runs.back().front().id == kProgramChange)
            runs.emplace_back();
        KvFirstSampleValue& value = runs.back().emplace_back();
        value.id = entry->value.id;
        value.value = entry->value.value;
        Took(entry->value.id, entry->value.value, entry->value.moment, 0);
    }
    announced_.clear();
    Publish();
    return runs;
}

void KvHostIntent::Took(ParamID id, double value, int64_t moment, int64_t blockMoment)
{
    const int index = Slot(id);
    if (index < 0)
        return;
    SlotState& slot = slots_[static_cast<std::size_t>(index)];
    int64_t at = moment;
    if (at == 0)
    {
        // A block's point: the host chose a program it carries when it told
        // the controller, or, told only through the block, when it began.
        const int64_t fresh = id == kProgramChange ? FreshMoment(id) : 0;
        at = fresh != 0 ? fresh : blockMoment;
    }
    slot.choicesThen.store(choices_.load(std::memory_order_acquire), std::memory_order_relaxed);
    if (id == kProgramChange)
    {
        Raise(programTakenAt_, at);
        // A block's choice moves what came from the controller before it;
        // the controller's own come in the host's order with its values.
        if (moment == 0)
            choices_.fetch_add(1, std::memory_order_acq_rel);
    }
    Raise(slot.takenAt, moment != 0 ? moment : blockMoment);
    // A block's point ends the repeat of what came from the controller.
    slot.takenValue.store(value, std::memory_order_relaxed);
    slot.repeatable.store(moment != 0, std::memory_order_release);
}

bool KvHostIntent::Repeats(ParamID id, double value) const
{
    const int index = Slot(id);
    if (index < 0)
        return false;
    const SlotState& slot = slots_[static_cast<std::size_t>(index)];
    // Only the host's newest value on the controller is repeated, and only
    // while no program choice moved it.
    return slot.repeatable.load(std::memory_order_acquire) &&
           slot.choicesThen.load(std::memory_order_relaxed) == choices_.load(std::memory_order_acquire) &&
           slot.takenAt.load(std::memory_order_relaxed) == slot.announcedAt.load(std::memory_order_relaxed) &&
           static_cast<float>(slot.takenValue.load(std::memory_order_relaxed)) == static_cast<float>(value);
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
    return at > state.takenAt.load(std::memory_order_acquire) ? at : 0;
}
