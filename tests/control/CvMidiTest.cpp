// "Trigger to MIDI": note messages from gate, pitch and velocity voltages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "control/MidiSink.h"
#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_cv_midi.h"

using kvtest::TestSource;
using Pins = ug_cv_midi::Pins;
using Bytes = std::vector<unsigned char>;

namespace
{
struct CvMidiRig
{
    CvMidiRig()
    {
        module = static_cast<ug_cv_midi*>(CModuleFactory::Instance()->GetById(L"Trigger to MIDI")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        gate = graph.Add<TestSource>(10);
        pitch = graph.Add<TestSource>(11);
        velocity = graph.Add<TestSource>(12);
        sink = graph.Add<kvtest::MidiSink>(1);
        ug_base::connect(gate->plugs_[TestSource::PN_AUDIO], module->plugs_[Pins::PN_GATE]);
        ug_base::connect(pitch->plugs_[TestSource::PN_AUDIO], module->plugs_[Pins::PN_PITCH]);
        ug_base::connect(velocity->plugs_[TestSource::PN_AUDIO], module->plugs_[Pins::PN_VELOCITY]);
        ug_base::connect(module->plugs_[Pins::PN_MIDI_OUT], sink->plugs_[ug_midi_device::PN_MIDI_IN]);
        graph.OpenAll();
        pitch->HoldConstant(0.5f);
        velocity->HoldConstant(0.5f);
    }
    void SetChannel(int value)
    {
        const int32_t v = value;
        module->SetPinValue(graph.master.SampleClock(), Pins::PN_CHANNEL, DT_ENUM, &v, 4);
    }
    // The gate is on from `on` until `off`.
    void Pulse(int64_t on, int64_t off)
    {
        gate->Stream([on, off](int64_t t) { return t >= on && t < off ? 0.5f : 0.0f; });
    }

    kvtest::TestGraph graph;
    ug_cv_midi* module = nullptr;
    TestSource* gate = nullptr;
    TestSource* pitch = nullptr;
    TestSource* velocity = nullptr;
    kvtest::MidiSink* sink = nullptr;
};

// 1 V/octave: 5 V is note 69, rounded to the nearest note.
int OctaveNote(double volts)
{
    return static_cast<int>(std::floor((volts - 5.0) * 12.0 + 69.5));
}
} // namespace

TEST(CvMidi, AGatePulseSendsNoteOnAndOffAtTheSamplesWhereItCrosses)
{
    CvMidiRig rig;
    rig.Pulse(20, 70);
    rig.graph.Run(96);
    ASSERT_EQ(rig.sink->received.size(), 2u);
    EXPECT_EQ(rig.sink->received[0].time, 20);
    EXPECT_EQ(rig.sink->received[0].bytes, (Bytes{0x90, 0x45, 0x3F}));
    EXPECT_EQ(rig.sink->received[1].time, 70);
    EXPECT_EQ(rig.sink->received[1].bytes, (Bytes{0x80, 0x45, 0x40}));

    // Across blocks, with a new pitch taken at the rising edge only.
    rig.sink->received.clear();
    rig.pitch->HoldConstant(0.6f);
    rig.Pulse(150, 300);
    rig.graph.Run(300);
    ASSERT_EQ(rig.sink->received.size(), 2u);
    EXPECT_EQ(rig.sink->received[0].time, 150);
    EXPECT_EQ(rig.sink->received[0].bytes[1], OctaveNote(6.0));
    EXPECT_EQ(rig.sink->received[1].time, 300);
    EXPECT_EQ(rig.sink->received[1].bytes[1], OctaveNote(6.0));
}

TEST(CvMidi, ChannelAllSendsOnChannelOneAndOtherChannelsUseTheirNibble)
{
    CvMidiRig rig;
    rig.SetChannel(-1);
    rig.Pulse(10, 20);
    rig.graph.Run(96);
    rig.SetChannel(9);
    rig.Pulse(110, 120);
    rig.graph.Run(96);
    ASSERT_EQ(rig.sink->received.size(), 4u);
    EXPECT_EQ(rig.sink->received[0].bytes[0], 0x90);
    EXPECT_EQ(rig.sink->received[1].bytes[0], 0x80);
    EXPECT_EQ(rig.sink->received[2].bytes[0], 0x99);
    EXPECT_EQ(rig.sink->received[3].bytes[0], 0x89);
}

TEST(CvMidi, PitchGivesTheNoteByEitherScaleAndExtremesStayInRange)
{
    EXPECT_EQ(ug_cv_midi::NoteFromPitch(0.505f, ug_cv_midi::FS_VOLT_PER_OCTAVE), 70);
    EXPECT_EQ(ug_cv_midi::NoteFromPitch(0.495f, ug_cv_midi::FS_VOLT_PER_OCTAVE), 68);
    for (double volts = 0.0; volts <= 10.0; volts += 0.37)
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(static_cast<float>(volts / 10.0), 0), std::clamp(OctaveNote(volts), 0, 127));
    EXPECT_EQ(ug_cv_midi::NoteFromPitch(0.044f, ug_cv_midi::FS_VOLT_PER_KHZ), 69);
    EXPECT_EQ(ug_cv_midi::NoteFromPitch(0.44f, ug_cv_midi::FS_VOLT_PER_KHZ), 108);
    for (double volts : {0.1, 0.3, 0.8, 1.7, 2.5})
    {
        const double n = 69.0 + 12.0 * std::log2(volts * 1000.0 / 440.0);
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(static_cast<float>(volts / 10.0), 1), static_cast<int>(n)) << volts;
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int scale : {0, 1})
    {
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(nan, scale), 0);
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(inf, scale), 127);
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(-inf, scale), 0);
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(1e30f, scale), 127);
        EXPECT_EQ(ug_cv_midi::NoteFromPitch(-1.0f, scale), 0);
    }
}

TEST(CvMidi, VelocityIsScaledBy127AndKeptBetween1And127)
{
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(0.5f), 63);
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(0.0f), 1);
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(1.2f), 127);
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(-3.0f), 1);
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(std::numeric_limits<float>::quiet_NaN()), 1);
    EXPECT_EQ(ug_cv_midi::VelocityFromValue(std::numeric_limits<float>::infinity()), 127);
}

TEST(CvMidi, AStaticGateSendsAtOnceAndTheModuleSleeps)
{
    CvMidiRig rig;
    rig.graph.Run(40);
    rig.gate->HoldConstant(0.5f);
    rig.graph.Run(96);
    ASSERT_EQ(rig.sink->received.size(), 1u);
    EXPECT_EQ(rig.sink->received[0].bytes, (Bytes{0x90, 0x45, 0x3F}));
    EXPECT_TRUE(rig.module->GateState());
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
    rig.gate->HoldConstant(0.0f);
    rig.graph.Run(96);
    ASSERT_EQ(rig.sink->received.size(), 2u);
    EXPECT_EQ(rig.sink->received[1].bytes, (Bytes{0x80, 0x45, 0x40}));
}
