#pragma once
// The input of blocks that could not use the engine (another thread held it
// for the preset state), kept for the next block that can: each block's
// parameter values (the last point of each of its queues) and its note
// events, in the host's order, handed back as the host's own lists of a
// block whose every point and event falls on its first sample.
//
// Threads: Audio, every method: the room is taken once, when the object is
// made; keeping and replaying allocate nothing and take no lock.

#include <array>
#include <cstdint>

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "shell/KvFirstSampleChanges.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KvHeldInput
{
public:
    static constexpr int kMaxBlocks = 64;
    static constexpr int kMaxValues = 4096;
    static constexpr int kMaxEvents = 4096;

    KvHeldInput();
    KvHeldInput(const KvHeldInput&) = delete;
    KvHeldInput& operator=(const KvHeldInput&) = delete;

    // Keeps a block's values, but those of the parameter `skipped`, and its
    // note events (notes on, off and pressure). Beyond kMaxBlocks blocks
    // the last one takes the values of the next (each parameter's newest);
    // what finds no room is lost, and LostSome() says so.
    void Keep(Steinberg::Vst::IParameterChanges* changes, Steinberg::Vst::IEventList* events,
              Steinberg::Vst::ParamID skipped);

    bool Empty() const { return blockCount_ == 0; }
    // Drops the notes kept, keeping the values.
    void ForgetNotes()
    {
        for (int b = 0; b < blockCount_; ++b)
            blocks_[static_cast<std::size_t>(b)].eventCount = 0;
    }
    bool LostSome() const { return lost_; }

    // Hands each block kept, oldest first, to `hand(changes, events)`, then
    // forgets them all.
    template <class Hand>
    void Replay(Hand hand)
    {
        for (int b = 0; b < blockCount_; ++b)
        {
            const Block& block = blocks_[static_cast<std::size_t>(b)];
            changes_.Show(&values_[static_cast<std::size_t>(block.firstValue)], block.valueCount);
            events_.Show(&notes_[static_cast<std::size_t>(block.firstEvent)], block.eventCount);
            hand(changes_, events_);
        }
        blockCount_ = 0;
        valueCount_ = 0;
        eventCount_ = 0;
        lost_ = false;
    }

private:
    class Events : public Steinberg::Vst::IEventList
    {
    public:
        void Show(Steinberg::Vst::Event* first, int count)
        {
            first_ = first;
            count_ = count;
        }
        Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** object) override;
        Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
        Steinberg::uint32 PLUGIN_API release() override { return 1; }
        Steinberg::int32 PLUGIN_API getEventCount() override { return count_; }
        Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& event) override;
        Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event&) override { return Steinberg::kResultFalse; }

    private:
        Steinberg::Vst::Event* first_ = nullptr;
        int count_ = 0;
    };

    struct Block
    {
        int firstValue = 0;
        int valueCount = 0;
        int firstEvent = 0;
        int eventCount = 0;
    };

    // Puts a value in the newest block: over the value of the same
    // parameter when `merge`, else after the others.
    void KeepValue(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value, bool merge);

    std::array<Block, kMaxBlocks> blocks_{};
    std::array<KvFirstSampleValue, kMaxValues> values_{};
    std::array<Steinberg::Vst::Event, kMaxEvents> notes_{};
    int blockCount_ = 0;
    int valueCount_ = 0;
    int eventCount_ = 0;
    bool lost_ = false;
    KvFirstSampleChanges changes_;
    Events events_;
};
#pragma GCC diagnostic pop
