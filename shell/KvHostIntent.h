#pragma once
// What the host set on the controller that no block has brought to the
// processor yet: the controller passes on each value the host gives it (a
// patch parameter, the program, the bypass) as it comes, and the processor
// counts, per parameter, the blocks that bring one. A value no block
// brought since it came is still on its way; a state taken meanwhile holds
// it all the same (hosts that render offline save with no block between).
//
// Threads: Announce, Forget and TakeUndelivered on any thread of the
// host's but the audio thread (under a lock of their own); Delivered on the
// audio thread (no allocation, lock or log).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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

    // The controller's message: values as the host gave them, in its order.
    // Bytes of {uint32 id, float64 value} records; false when malformed.
    bool Announce(const void* bytes, std::size_t size);
    static std::vector<unsigned char> Message(Steinberg::Vst::ParamID id, double value);
    // A state set: what came before it is older than the state.
    void Forget();
    // Audio: a block brought a value of `id`.
    void Delivered(Steinberg::Vst::ParamID id)
    {
        if (const int slot = Slot(id); slot >= 0)
            deliveries_[static_cast<std::size_t>(slot)].fetch_add(1, std::memory_order_acq_rel);
    }
    // Audio: whether the host set `id` on the controller after `moment`.
    bool SetAfter(Steinberg::Vst::ParamID id, int64_t moment) const
    {
        const int slot = Slot(id);
        return slot >= 0 && announcedAt_[static_cast<std::size_t>(slot)].load(std::memory_order_acquire) > moment;
    }
    // The values no block brought since they came, each parameter's newest,
    // in the order they came (for one block's changes at its first sample);
    // they are then forgotten.
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

    struct Announced
    {
        Steinberg::Vst::ParamID id = 0;
        double value = 0.0;
        // The slot's deliveries when it came.
        uint32_t deliveries = 0;
    };

    std::unique_ptr<std::atomic<uint32_t>[]> deliveries_;
    // When each parameter last came (KvClock).
    std::unique_ptr<std::atomic<int64_t>[]> announcedAt_;
    std::mutex mutex_;
    std::vector<Announced> announced_;
};
