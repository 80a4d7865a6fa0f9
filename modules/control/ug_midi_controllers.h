#pragma once
// "Controllers": pitch bend, channel pressure and up to four chosen MIDI
// controllers as smoothed control voltages. Controllers 0 to 31 combine their
// MSB and LSB pair (the LSB arrives on controller number + 32) into 14 bits.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "engine/graph/ug_midi_device.h"

class ug_midi_controllers : public ug_midi_device
{
public:
    static constexpr int kControllerCount = 4;
    enum Pins
    {
        PN_MIDI_IN = 0,
        PN_CHANNEL = 1,
        PN_TYPE0 = 2,
        PN_AFTERTOUCH = 6,
        PN_BENDER = 7,
        PN_CONTROLLER0 = 8,
    };
    // Order of the smoothed outputs.
    enum Outputs
    {
        OUT_AFTERTOUCH = 0,
        OUT_BENDER = 1,
        OUT_CONTROLLER0 = 2,
        OUT_COUNT = 6,
    };

    ug_midi_controllers();
    ~ug_midi_controllers() override = default;

    ug_base* Create() override { return new ug_midi_controllers(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void Resume(int64_t time) override;
    void OnMidiData(int size, unsigned char* data) override;

    void ChangeOutput(int64_t time, UPlug* pin, float value);
    void sub_process(int start, int count);

    // The 14-bit value that controller output n follows.
    uint16_t Value(int n) const { return value_[static_cast<size_t>(n)]; }
    int RampLength() const { return rampLength_; }

private:
    void OnController(int number, int data);

    std::array<int16_t, kControllerCount> type_{-1, -1, -1, -1};
    std::array<uint16_t, kControllerCount> value_{};
    std::vector<smart_output> outputs_;
    std::array<float*, OUT_COUNT> outputBuffers_{};
    int rampLength_ = 1;
};
