#pragma once
// "Trigger to MIDI": a note on when the gate rises above 0 and a note off when
// it falls back, the note from a pitch voltage and the velocity from a
// velocity voltage, sent at the sample where the gate crosses.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_cv_midi : public ug_base
{
public:
    enum Pins { PN_GATE = 0, PN_PITCH, PN_VELOCITY, PN_CHANNEL, PN_MIDI_OUT, PN_FREQ_SCALE };
    enum FreqScale { FS_VOLT_PER_OCTAVE = 0, FS_VOLT_PER_KHZ = 1 };

    ug_cv_midi() = default;
    ~ug_cv_midi() override = default;

    ug_base* Create() override { return new ug_cv_midi(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);
    void gate_changed();

    // Note number for a pitch value in signal units (1.0 = 10 V), 0 to 127.
    static int NoteFromPitch(float pitch, int freqScale);
    // Velocity for a velocity value in signal units, 1 to 127.
    static int VelocityFromValue(float value);

    bool GateState() const { return gateState_; }

private:
    float* gate_ = nullptr;
    bool gateState_ = false;
    int16_t channel_ = 0;
    int32_t lastNote_ = 0;
    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
};
