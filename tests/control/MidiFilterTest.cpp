// "MIDI Filter": channel, note, velocity and program-change filtering.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "control/MidiSink.h"
#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_midi_filter.h"

using Pins = ug_midi_filter::Pins;

namespace
{
struct FilterRig
{
    FilterRig()
    {
        filter = static_cast<ug_midi_filter*>(CModuleFactory::Instance()->GetById(L"MIDI Filter")->BuildSynthOb());
        filter->Setup(&graph.master, nullptr);
        filter->sortOrder_ = 5;
        graph.modules.emplace_back(filter);
        sink = graph.Add<kvtest::MidiSink>(1);
        ug_base::connect(filter->plugs_[Pins::PN_MIDI_OUT], sink->plugs_[ug_midi_device::PN_MIDI_IN]);
        graph.OpenAll();
    }
    void Set(int pin, int value)
    {
        const int32_t v = value;
        filter->SetPinValue(graph.master.SampleClock(), pin, DT_ENUM, &v, 4);
    }
    // True when the message came out of the filter.
    bool Passes(std::initializer_list<unsigned char> bytes)
    {
        const std::vector<unsigned char> b(bytes);
        sink->received.clear();
        filter->SetPinValue(graph.master.SampleClock(), Pins::PN_MIDI_IN, DT_MIDI2, b.data(), static_cast<int>(b.size()));
        graph.Run(32);
        return sink->received.size() == 1 && sink->received[0].bytes == b;
    }

    kvtest::TestGraph graph;
    ug_midi_filter* filter = nullptr;
    kvtest::MidiSink* sink = nullptr;
};
} // namespace

TEST(MidiFilter, TheChannelRangeCountsFromOneAndIncludesBothEnds)
{
    FilterRig rig;
    for (unsigned char ch = 0; ch < 16; ++ch)
        EXPECT_TRUE(rig.Passes({static_cast<unsigned char>(0x90 | ch), 60, 100})) << int{ch};
    rig.Set(Pins::PN_CHANNEL_LO, 2);
    rig.Set(Pins::PN_CHANNEL_HI, 2);
    for (unsigned char ch = 0; ch < 16; ++ch)
        EXPECT_EQ(rig.Passes({static_cast<unsigned char>(0xB0 | ch), 7, 1}), ch == 1) << int{ch};
    // Lo above Hi passes no channel, yet system messages still pass.
    rig.Set(Pins::PN_CHANNEL_LO, 9);
    rig.Set(Pins::PN_CHANNEL_HI, 3);
    for (unsigned char ch = 0; ch < 16; ++ch)
        EXPECT_FALSE(rig.Passes({static_cast<unsigned char>(0x80 | ch), 60, 64}));
    EXPECT_TRUE(rig.Passes({0xF0, 0x7E, 1, 2, 3, 0xF7}));
    EXPECT_TRUE(rig.Passes({0xF8}));
}

TEST(MidiFilter, NotesAreRangeTestedAndOnlyNonZeroVelocitiesAreVelocityTested)
{
    FilterRig rig;
    rig.Set(Pins::PN_NOTE_LO, 48);
    rig.Set(Pins::PN_NOTE_HI, 72);
    rig.Set(Pins::PN_VELOCITY_LO, 10);
    rig.Set(Pins::PN_VELOCITY_HI, 100);
    EXPECT_TRUE(rig.Passes({0x90, 48, 10}));
    EXPECT_TRUE(rig.Passes({0x90, 72, 100}));
    EXPECT_FALSE(rig.Passes({0x90, 47, 50}));
    EXPECT_FALSE(rig.Passes({0x90, 73, 50}));
    EXPECT_FALSE(rig.Passes({0x90, 60, 9}));
    EXPECT_FALSE(rig.Passes({0x90, 60, 101}));
    EXPECT_TRUE(rig.Passes({0x90, 60, 0}));
    EXPECT_FALSE(rig.Passes({0x90, 80, 0}));
    EXPECT_TRUE(rig.Passes({0x80, 60, 127}));
    EXPECT_FALSE(rig.Passes({0x80, 30, 64}));
    // Other channel messages ignore the note and velocity ranges.
    EXPECT_TRUE(rig.Passes({0xB0, 1, 127}));
    EXPECT_TRUE(rig.Passes({0xA0, 20, 5}));
    EXPECT_TRUE(rig.Passes({0xE0, 0, 0}));
}

TEST(MidiFilter, ProgramChangesFollowTheirSwitch)
{
    FilterRig rig;
    EXPECT_TRUE(rig.Passes({0xC3, 5}));
    rig.Set(Pins::PN_PROGRAM_CHANGE, 0);
    EXPECT_FALSE(rig.Passes({0xC3, 5}));
    EXPECT_TRUE(rig.Passes({0xD3, 5}));
}

TEST(MidiFilter, ForwardsAtTheEventTimeAndSleepsBetweenEvents)
{
    FilterRig rig;
    const unsigned char note[3] = {0x91, 64, 90};
    rig.filter->SetPinValue(40, Pins::PN_MIDI_IN, DT_MIDI2, note, 3);
    rig.graph.Run(96);
    ASSERT_EQ(rig.sink->received.size(), 1u);
    EXPECT_EQ(rig.sink->received[0].time, 40);
    EXPECT_EQ(rig.filter->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
}
