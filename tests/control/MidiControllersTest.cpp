// "Controllers": pitch bend, channel pressure and chosen controllers as
// smoothed voltages.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_midi_controllers.h"

using kvtest::Recorder;
using Pins = ug_midi_controllers::Pins;

namespace
{
struct ControllersRig
{
    explicit ControllersRig(float rate = 44100.0f) : graph(96, rate)
    {
        module = static_cast<ug_midi_controllers*>(CModuleFactory::Instance()->GetById(L"Controllers")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        for (int pin = Pins::PN_AFTERTOUCH; pin < Pins::PN_CONTROLLER0 + 4; ++pin)
        {
            recorders.push_back(graph.Add<Recorder>(1));
            ug_base::connect(module->plugs_[static_cast<size_t>(pin)], recorders.back()->plugs_[Recorder::PN_AUDIO]);
        }
        graph.OpenAll();
        // The "Type" defaults, as the container's default setter sends them.
        for (int n = 0; n < 4; ++n)
            SetEnum(Pins::PN_TYPE0 + n, n + 1);
    }
    void Midi(int64_t time, std::initializer_list<unsigned char> bytes)
    {
        const std::vector<unsigned char> b(bytes);
        module->SetPinValue(time, Pins::PN_MIDI_IN, DT_MIDI2, b.data(), static_cast<int>(b.size()));
    }
    void MidiNow(std::initializer_list<unsigned char> bytes) { Midi(graph.master.SampleClock(), bytes); }
    void SetEnum(int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(0, pin, DT_ENUM, &v, 4);
    }
    // The output pin's samples since time 0.
    const std::vector<float>& Out(int pin) const { return recorders[static_cast<size_t>(pin - Pins::PN_AFTERTOUCH)]->audio; }

    kvtest::TestGraph graph;
    ug_midi_controllers* module = nullptr;
    std::vector<Recorder*> recorders;
};

constexpr int kRamp44k = 44100 / 60;
} // namespace

TEST(MidiControllers, BendAndPressureRampLinearlyToTheirValuesOverASixtiethOfASecond)
{
    ControllersRig rig;
    EXPECT_EQ(rig.module->RampLength(), kRamp44k);
    rig.Midi(100, {0xE0, 0x00, 0x00});
    rig.Midi(100, {0xD3, 64});
    rig.graph.Run(100 + kRamp44k + 200);
    const auto& bend = rig.Out(Pins::PN_BENDER);
    EXPECT_EQ(bend[99], 0.0f);
    for (int k : {1, 100, 367, 600})
        EXPECT_NEAR(bend[static_cast<size_t>(99 + k)], -static_cast<float>(k) / kRamp44k, 1e-4f) << k;
    EXPECT_FLOAT_EQ(bend[static_cast<size_t>(99 + kRamp44k)], -1.0f);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_AFTERTOUCH).back(), 64.0f / 127.0f);

    rig.MidiNow({0xE0, 0x00, 0x40});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(bend.back(), 0.0f);
    rig.MidiNow({0xE0, 0x7F, 0x7F});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(bend.back(), 8191.0f / 8192.0f);
}

TEST(MidiControllers, ControllersBelow32CombineTheirMsbAndLsbIntoFourteenBits)
{
    ControllersRig rig;
    const int out = Pins::PN_CONTROLLER0; // follows controller 1
    rig.Midi(0, {0xB0, 1, 127});
    rig.Midi(0, {0xB0, 33, 0});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(rig.Out(out).back(), 1.0f);
    rig.MidiNow({0xB0, 33, 127});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(rig.Out(out).back(), 16383.0f / 16256.0f);
    // A new coarse value keeps the fine part.
    rig.MidiNow({0xB0, 1, 64});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(rig.Out(out).back(), static_cast<float>((64 << 7) | 127) / 16256.0f);
    EXPECT_EQ(rig.Out(out + 1).back(), 0.0f);
}

TEST(MidiControllers, AChosenControllerAbove63IsSevenBitAndTwoOutputsMayFollowOneController)
{
    ControllersRig rig;
    rig.SetEnum(Pins::PN_TYPE0, 64);
    rig.SetEnum(Pins::PN_TYPE0 + 2, 64);
    rig.SetEnum(Pins::PN_TYPE0 + 1, 7);
    rig.Midi(20, {0xB0, 64, 127});
    rig.Midi(20, {0xB0, 39, 127}); // fine part of controller 7 only
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_CONTROLLER0).back(), 1.0f);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_CONTROLLER0 + 2).back(), 1.0f);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_CONTROLLER0 + 1).back(), 127.0f / 16256.0f);
}

TEST(MidiControllers, OtherChannelsUnchosenControllersAndMalformedMessagesChangeNothing)
{
    ControllersRig rig;
    rig.SetEnum(Pins::PN_CHANNEL, 0);
    rig.SetEnum(Pins::PN_TYPE0 + 3, -1);
    for (const auto& bytes : std::vector<std::vector<unsigned char>>{
             {0xD1, 127},
             {0xB0, 31, 127}, // -1 + 32: "<none>" must not take a fine part
             {0xE0},
             {0xE0, 0x10},
             {0xB0, 1},
             {0xE0, 0x80, 0x00},
             {0xF0, 0xE0, 0x00, 0x00, 0x00, 0xF7}})
        rig.module->SetPinValue(20, Pins::PN_MIDI_IN, DT_MIDI2, bytes.data(), static_cast<int>(bytes.size()));
    rig.graph.Run(1000);
    for (int pin = Pins::PN_AFTERTOUCH; pin < Pins::PN_CONTROLLER0 + 4; ++pin)
        EXPECT_EQ(rig.Out(pin).back(), 0.0f) << pin;
    rig.MidiNow({0xD0, 127});
    rig.graph.Run(1000);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_AFTERTOUCH).back(), 1.0f);
}

TEST(MidiControllers, SleepsOnceSettledAndWakesForTheNextChange)
{
    ControllersRig rig(48000.0f);
    EXPECT_EQ(rig.module->RampLength(), 800);
    rig.graph.Run(96 * 4);
    EXPECT_TRUE(rig.module->sleeping_);
    rig.Midi(rig.graph.master.SampleClock() + 10, {0xD0, 127});
    rig.graph.Run(96);
    EXPECT_FALSE(rig.module->sleeping_);
    rig.graph.Run(800 + 96 * 3);
    EXPECT_TRUE(rig.module->sleeping_);
    EXPECT_FLOAT_EQ(rig.Out(Pins::PN_AFTERTOUCH).back(), 1.0f);
}
