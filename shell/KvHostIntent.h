#pragma once
// What the host set on the controller that no block has brought to the
// processor yet, in the order the host set it: the controller passes on
// each value the host gives it (a patch parameter, the program, the bypass)
// with the moment (KvClock) of the host's call, and the processor counts,
// per parameter, the blocks that bring one. A value no block brought since
// it came is still on its way; a state taken meanwhile holds it all the
// same (hosts that render offline save with no block between). A state set
// at a moment makes everything the host set before it older: it is
// forgotten, also when its message comes after the state.
//
// Threads: Announce, Forget and TakeUndelivered on any thread of the
// host's but the audio thread (under a lock of their own); Delivered,
// SetAfter and FreshMoment on the audio thread (no allocation, lock or log).

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
    KvHostIntent(const KvHostIntent&) = delete;
    KvHostIntent& operator=(const KvHostIntent&) = delete;

    // A value as the host set it, and when.
    struct HostValue
    {
        Steinberg::Vst::ParamID id = 0;
        double value = 0.0;
        int64_t moment = 0;
    };
    // The controller's message: bytes of {uint32 id, float64 value, int64
    // moment} records; false when malformed.
    bool Announce(const void* bytes, std::size_t size);
    static std::vector<unsigned char> Message(const std::vector<HostValue>& values);
    // A state set at `moment`: what the host set before it is older.
    void Forget(int64_t moment);
    // Audio: a block brought a value of `id` (the block that began at
    // `blockMoment`).
    void Delivered(Steinberg::Vst::ParamID id, int64_t blockMoment);
    // Audio: whether the host set `id` on the controller after `moment`.
    bool SetAfter(Steinberg::Vst::ParamID id, int64_t moment) const
    {
        const int slot = Slot(id);
        return slot >= 0 && slots_[static_cast<std::size_t>(slot)].announcedAt.load(std::memory_order_acquire) > moment;
    }
    // Audio: when the host last set `id` on the controller, if no block has
    // brought a value of it since; else 0.
    int64_t FreshMoment(Steinberg::Vst::ParamID id) const;
    // The values no block brought since they came, in the host's order;
    // they are then forgotten. Within the values between two program
    // choices each parameter's newest only. Values and choices the host set
    // before a program choice that a block has brought since are left out:
    // the program they were set in is gone from the engine.
    std::vector<KvFirstSampleValue> TakeUndelivered();

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
        // When the host last set it on the controller, and when the last
        // block that brought a value of it began.
        std::atomic<int64_t> announcedAt{0};
        std::atomic<int64_t> deliveredAt{0};
    };
    struct Announced
    {
        HostValue value;
        bool live = true;
    };
    static void Raise(std::atomic<int64_t>& moment, int64_t to);
    void Add(const HostValue& value);
    void Compact();

    std::unique_ptr<SlotState[]> slots_;
    // The host's moment of the newest program choice a block brought.
    std::atomic<int64_t> programPlayedAt_{0};
    std::mutex mutex_;
    // In the host's order; entries overtaken by a newer value of the same
    // run are marked, not removed, and swept once per message.
    std::vector<Announced> announced_;
    // Where each parameter's newest value of the last run stands.
    std::unordered_map<Steinberg::Vst::ParamID, std::size_t> newestOfRun_;
    std::size_t dead_ = 0;
    int64_t forgottenUntil_ = 0;
};
