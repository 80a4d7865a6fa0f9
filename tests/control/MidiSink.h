#pragma once
// A MIDI input that logs each message with its arrival time, for tests of
// modules that send MIDI.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_midi_device.h"

namespace kvtest
{
class MidiSink : public ug_midi_device
{
public:
    struct Message
    {
        int64_t time;
        std::vector<unsigned char> bytes;
    };
    ug_base* Create() override { return new MidiSink(); }
    void OnMidiData(int size, unsigned char* data) override { received.push_back({sampleClock_, {data, data + size}}); }
    std::vector<Message> received;
};
} // namespace kvtest
