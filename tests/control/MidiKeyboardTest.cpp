// "KeyBoard": panel key notifications as queued note messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "control/MidiSink.h"
#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_midi_keyboard.h"

using Pins = ug_midi_keyboard::Pins;
using Bytes = std::vector<unsigned char>;

namespace
{
struct KeyboardRig
{
    KeyboardRig()
    {
        keyboard = static_cast<ug_midi_keyboard*>(CModuleFactory::Instance()->GetById(L"KeyBoard")->BuildSynthOb());
        keyboard->Setup(&graph.master, nullptr);
        keyboard->sortOrder_ = 5;
        graph.modules.emplace_back(keyboard);
        sink = graph.Add<kvtest::MidiSink>(1);
        ug_base::connect(keyboard->plugs_[Pins::PN_MIDI_OUT], sink->plugs_[ug_midi_device::PN_MIDI_IN]);
        graph.OpenAll();
    }
    void SetChannel(int value)
    {
        const int32_t v = value;
        keyboard->SetPinValue(graph.master.SampleClock(), Pins::PN_CHANNEL, DT_ENUM, &v, 4);
        graph.Run(8);
    }

    kvtest::TestGraph graph;
    ug_midi_keyboard* keyboard = nullptr;
    kvtest::MidiSink* sink = nullptr;
};
} // namespace

TEST(MidiKeyboard, KeysAreSentInArrivalOrderAtTheNextProcessCall)
{
    KeyboardRig rig;
    rig.SetChannel(2);
    rig.keyboard->OnUiNotify(ug_midi_keyboard::NOTIFY_KEY_DOWN, 60);
    rig.keyboard->OnUiNotify(ug_midi_keyboard::NOTIFY_KEY_DOWN, 64);
    rig.keyboard->OnNoteOff(60);
    EXPECT_TRUE(rig.sink->received.empty());
    rig.graph.Run(32);
    ASSERT_EQ(rig.sink->received.size(), 3u);
    EXPECT_EQ(rig.sink->received[0].bytes, (Bytes{0x92, 60, 0x5A}));
    EXPECT_EQ(rig.sink->received[1].bytes, (Bytes{0x92, 64, 0x5A}));
    EXPECT_EQ(rig.sink->received[2].bytes, (Bytes{0x82, 60, 0x40}));
    EXPECT_EQ(rig.sink->received[0].time, rig.sink->received[2].time);
}

TEST(MidiKeyboard, ChannelAllSendsOnChannelOneAndANegativeKeyUpIsIgnored)
{
    KeyboardRig rig;
    rig.SetChannel(-1);
    rig.keyboard->OnNoteOff(-5);
    rig.keyboard->OnNoteOn(200);
    rig.keyboard->OnUiNotify(7, 60);
    rig.graph.Run(32);
    ASSERT_EQ(rig.sink->received.size(), 1u);
    EXPECT_EQ(rig.sink->received[0].bytes, (Bytes{0x90, 200 & 0x7F, 0x5A}));
}

TEST(MidiKeyboard, SleepsWithAnEmptyQueueAndWakesOnAKey)
{
    KeyboardRig rig;
    rig.graph.Run(32);
    EXPECT_EQ(rig.keyboard->sleeping_, 1);
    rig.keyboard->OnNoteOn(48);
    EXPECT_EQ(rig.keyboard->sleeping_, 0);
    rig.graph.Run(32);
    EXPECT_EQ(rig.sink->received.size(), 1u);
    EXPECT_EQ(rig.keyboard->sleeping_, 1);
}

TEST(MidiKeyboard, AFloodOfKeysBeyondTheQueueIsDroppedNotGrown)
{
    KeyboardRig rig;
    for (int i = 0; i < ug_midi_keyboard::kQueueCapacity + 50; ++i)
        rig.keyboard->OnNoteOn(i);
    EXPECT_EQ(rig.keyboard->PendingCount(), ug_midi_keyboard::kQueueCapacity);
    rig.graph.Run(32);
    ASSERT_EQ(rig.sink->received.size(), static_cast<size_t>(ug_midi_keyboard::kQueueCapacity));
    EXPECT_EQ(rig.sink->received.back().bytes[1], (ug_midi_keyboard::kQueueCapacity - 1) & 0x7F);
    EXPECT_EQ(rig.keyboard->PendingCount(), 0);
}
