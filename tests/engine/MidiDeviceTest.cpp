// The channel filter of MIDI-input modules.
#include <gtest/gtest.h>

#include <vector>

#include "engine/TestGraph.h"
#include "engine/graph/ug_midi_device.h"

namespace
{
class MidiLogger : public ug_midi_device
{
public:
    ug_base* Create() override { return new MidiLogger(); }
    void OnMidiData(int size, unsigned char* data) override { received.emplace_back(data, data + size); }
    std::vector<std::vector<unsigned char>> received;
};
} // namespace

TEST(MidiDevice, PassesItsChannelAndSystemMessagesAndDropsOtherChannels)
{
    kvtest::TestGraph g;
    auto* device = g.Add<MidiLogger>(0);
    EXPECT_EQ(device->plugs_.size(), 2u);
    device->channel_ = 2;
    g.OpenAll();
    const unsigned char onChannel3[3] = {0x92, 60, 1};
    const unsigned char onChannel4[3] = {0x93, 60, 1};
    const unsigned char clock[1] = {0xF8};
    const unsigned char sysex[6] = {0xF0, 0x7E, 1, 2, 3, 0xF7};
    for (const auto& [bytes, size] : {std::pair{onChannel3, 3}, std::pair{onChannel4, 3}, std::pair{clock, 1},
                                      std::pair{sysex, 6}})
        device->SetPinValue(10, ug_midi_device::PN_MIDI_IN, DT_MIDI2, bytes, size);
    g.Run(64);
    ASSERT_EQ(device->received.size(), 3u);
    EXPECT_EQ(device->received[0][0], 0x92);
    EXPECT_EQ(device->received[1][0], 0xF8);
    EXPECT_EQ(device->received[2].size(), 6u);

    device->received.clear();
    device->channel_ = -1;
    device->SetPinValue(100, ug_midi_device::PN_MIDI_IN, DT_MIDI2, onChannel4, 3);
    g.Run(64);
    EXPECT_EQ(device->received.size(), 1u);
}
