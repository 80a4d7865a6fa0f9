#pragma once
// What the host set on the controller, in the order the host set it, until
// the engine has it: the controller passes on each value the host gives it
// (a patch parameter, the program, the bypass) with the moment (KvClock) of
// the host's call. The next block takes what its own points do not carry,
// ahead of them and in the host's order (a host that told the controller
// only, or whose block carries only the last of two program choices); a
// state taken before any block takes it all the same (hosts that render
// offline save with no block between). A point of a block that carries what
// was taken so already is that same action again, and is passed over. A
// state set at a moment makes everything the host set before it older: it
// is forgotten, also when its message comes after the state.
//
// Threads: Announce, Forget and TakeUndelivered on any thread of the
// host's but the audio thread (under a lock of their own); the rest on the
// audio thread, or on another with blocks held off (no allocation, lock or
// log). What the audio thread takes crosses through an atomic hand-over.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "shell/KvFirstSampleChanges.h"

class KvHostIntent
{
public:
    // Patch parameters below kFirstMidiParameter, then the program change and
    // the bypass; the MIDI controllers are messages, not values, and are not kept.
    static constexpr Steinberg::Vst::ParamID kFirstMidiParameter = 10000;
    static constexpr Steinberg::Vst::ParamID kProgramChange = 10130;
    static constexpr Steinberg::Vst::ParamID kBypass = 10131;

    KvHostIntent();
    ~KvHostIntent();
    KvHostIntent(const KvHostIntent&) = delete;
    KvHostIntent& operator=(const KvHostIntent&) = delete;

    // A value as the host set it, and when.
    struct HostValue
    {
        Steinberg::Vst::ParamID id = 0;
        double value = 0.0;
        int64_t moment = 0;
    };
    // A run of values that go to the engine as one block without samples
    // would take them: values set between two program choices, or a choice.
    using Run = std::vector<KvFirstSampleValue>;

    // The controller's message: bytes of {uint32 id, float64 value, int64
    // moment} records; false when malformed. A record whose moment is not
    // after 0 or not before now is refused. The message merges in time
    // linear in its size (but for its sort), in any order.
    bool Announce(const void* bytes, std::size_t size);
    static std::vector<unsigned char> Message(const std::vector<HostValue>& values);
    // A state set at `moment`: what the host set before it is older.
    void Forget(int64_t moment);
    // What the engine does not have yet, in runs; it is then the engine's.
    // Within a run each parameter's newest only. Values and choices set
    // before a program choice the engine has taken since are left out: the
    // program they were set in is gone from the engine.
    std::vector<Run> TakeUndelivered();

    // Audio, at a block's start: the runs to take before the block's own
    // points, leaving out a parameter's newest value where the block carries
    // it (`carries(id, value)`: its last point is that value). `take(run)`
    // hands each to the engine.
    template <class Carries, class Take>
    void TakeForBlock(Carries carries, Take take);

    // Audio (or held off): the engine took `value` of `id`, set by the host
    // at `moment` (0: a block's own point, as new as the block that began at
    // `blockMoment`).
    void Took(Steinberg::Vst::ParamID id, double value, int64_t moment, int64_t blockMoment);
    // Audio: whether a block's point of `id` at `value` repeats what the
    // engine took from the controller's values and no block carried since.
    bool Repeats(Steinberg::Vst::ParamID id, double value) const;
    // Audio: whether the host set `id` on the controller after `moment`.
    bool SetAfter(Steinberg::Vst::ParamID id, int64_t moment) const
    {
        const int slot = Slot(id);
        return slot >= 0 && slots_[static_cast<std::size_t>(slot)].announcedAt.load(std::memory_order_acquire) > moment;
    }
    // Audio: when the host last set `id` on the controller, if the engine
    // has not taken it since; else 0.
    int64_t FreshMoment(Steinberg::Vst::ParamID id) const;

private:
    static int Slot(Steinberg::Vst::ParamID id)
    {
        if (id < kFirstMidiParameter)
            return static_cast<int>(id);
        if (id == kProgramChange || id == kBypass)
            return static_cast<int>(kFirstMidiParameter + (id - kProgramChange));
        return -1;
    }
    static constexpr std::size_t kSlots = kFirstMidiParameter + 2;
    // Beyond this many waiting values the oldest go.
    static constexpr std::size_t kMostWaiting = 1u << 16;

    struct SlotState
    {
        // When the host last set it on the controller, and the moment of
        // the newest the engine has: the host's moment of a value taken
        // from the controller's, the block's start for a block's point.
        std::atomic<int64_t> announcedAt{0};
        std::atomic<int64_t> takenAt{0};
        // The controller's value the engine took, until a block carries the
        // parameter or a program choice moves it (the count of choices then).
        std::atomic<bool> repeatable{false};
        std::atomic<double> takenValue{0.0};
        std::atomic<uint32_t> choicesThen{0};
    };
    struct Announced
    {
        HostValue value;
        bool live = true;
        // The newest of its parameter among those waiting.
        bool newest = false;
    };
    static void Raise(std::atomic<int64_t>& moment, int64_t to);
    // Whether the engine has this value, or a newer one, or it is older
    // than a program choice or state the engine took since.
    bool Settled(const HostValue& value) const;
    void Compact();
    // UI, under the lock: hands the waiting values to the audio thread.
    void Publish();

    std::unique_ptr<SlotState[]> slots_;
    // The host's moment of the newest program choice the engine took, and
    // of the last state set.
    std::atomic<int64_t> programTakenAt_{0};
    // How many program choices the engine took from blocks' points (the
    // controller's own come in the host's order with its values).
    std::atomic<uint32_t> choices_{0};
    std::atomic<int64_t> forgottenUntil_{0};
    std::mutex mutex_;
    // In the host's order: each run's newest of each parameter, runs ended
    // by program choices.
    std::vector<Announced> announced_;
    // The hand-over to the audio thread: the newest list, and a list it is
    // done with, freed by the user-interface thread; one the audio thread
    // could not hand back yet waits in its hands.
    std::atomic<std::vector<Announced>*> published_{nullptr};
    std::atomic<std::vector<Announced>*> spent_{nullptr};
    std::vector<Announced>* returning_ = nullptr;
};

template <class Carries, class Take>
void KvHostIntent::TakeForBlock(Carries carries, Take take)
{
    if (returning_ != nullptr)
    {
        std::vector<Announced>* none = nullptr;
        if (!spent_.compare_exchange_strong(none, returning_, std::memory_order_acq_rel))
            return;
        returning_ = nullptr;
    }
    std::vector<Announced>* list = published_.exchange(nullptr, std::memory_order_acq_rel);
    if (list == nullptr)
        return;

    // Up to a run's worth at a time on the stack: the values of a run go
    // together, a program choice alone.
    constexpr std::size_t kRoom = 64;
    KvFirstSampleValue run[kRoom];
    std::size_t count = 0;
    const auto flush = [&] {
        if (count > 0)
            take(run, static_cast<int>(count));
        count = 0;
    };
    // The block's points come after everything taken here: a newest value
    // the block carries is left to it only when nothing taken here comes
    // after it in the host's order; else it is taken here in its place and
    // the block's point repeats it.
    std::size_t last = 0;
    const auto carried = [&](const Announced& entry) {
        return entry.newest && carries(entry.value.id, entry.value.value);
    };
    for (std::size_t i = 0; i < list->size(); ++i)
        if (!Settled((*list)[i].value) && !carried((*list)[i]))
            last = i + 1;
    for (std::size_t i = 0; i < list->size(); ++i)
    {
        const Announced& entry = (*list)[i];
        if (Settled(entry.value) || (i >= last && carried(entry)))
            continue;
        const bool program = entry.value.id == kProgramChange;
        if (program || count == kRoom)
            flush();
        run[count].id = entry.value.id;
        run[count].value = entry.value.value;
        ++count;
        Took(entry.value.id, entry.value.value, entry.value.moment, 0);
        if (program)
            flush();
    }
    flush();
    returning_ = list;
    std::vector<Announced>* none = nullptr;
    if (spent_.compare_exchange_strong(none, returning_, std::memory_order_acq_rel))
        returning_ = nullptr;
}
