#pragma once
// "Monostable": a rising logic edge on the input starts a 5 V pulse whose
// length is read from "Pulse Length" at the edge (10 V = 1 second). Edges
// during a pulse are ignored. A pulse ends at its exact sample, also while
// the module sleeps, through a delayed call.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_monostable : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT = 0,
        PN_PULSE_LENGTH = 1,
        PN_OUTPUT = 2,
    };
    static constexpr int64_t kNoPulse = INT64_MAX;
    static constexpr int32_t kMaxPulseSamples = INT32_MAX;

    ug_monostable();
    ~ug_monostable() override = default;

    ug_base* Create() override { return new ug_monostable(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);
    void input_changed();
    void pulse_end();
    void OnFirstSample();

    // Pulse length in whole samples for a "Pulse Length" value at a sample
    // rate: at least 1, at most kMaxPulseSamples.
    static int32_t PulseSamples(float pulseLength, float sampleRate);

    int64_t PulseEnd() const { return pulseEnd_; }
    float OutputValue() const { return outputValue_; }

private:
    // The input's new value at the current sample time.
    void OnInput(float value);
    // The delayed end of a long pulse; does nothing unless that pulse is due.
    void OnPulseEndDue();

    float* input_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    int64_t pulseEnd_ = kNoPulse;
    bool level_ = false;
    float outputValue_ = 0.0f;
    state_type inputState_ = ST_STOPPED;
};
