#pragma once
// "FloatToVolts": turns a float value (volts) into an audio-rate voltage,
// gliding to each new value, then holding it for one block and sleeping.

#include <cstdint>

#include "engine/graph/smart_output.h"
#include "engine/graph/ug_base.h"

class ug_float_to_volts : public ug_base
{
public:
    enum Pins
    {
        PN_SMOOTHING = 0,
        PN_FLOAT_IN = 1,
        PN_VOLTS_OUT = 2,
    };
    enum Smoothing
    {
        SM_NONE = 0,
        SM_FAST = 1,
        SM_SMOOTH = 2,
    };
    // Output limit in sample units (1.0 = 10 V): keeps huge floats finite downstream.
    static constexpr float kMaxOutput = 1000.0f;

    ug_float_to_volts() = default;
    ~ug_float_to_volts() override = default;

    static ug_base* CreateObject() { return new ug_float_to_volts(); }
    ug_base* Create() override { return new ug_float_to_volts(); }
    void Resume(int64_t time) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    int Open() override;
    void assignPlugVariable(int pinId, UPlug* pin) override;

    // Glide length in samples for a value arriving at `time`.
    int GlideSamples(int64_t time) const;
    // The output level (sample units) for a float in volts.
    static float Target(float volts);
    int RunOut() const { return runOut_; }

    void sub_process(int start, int count);

private:
    float floatIn_ = 0.0f;
    smart_output output_;
    int16_t smoothing_ = SM_SMOOTH;
    int runOut_ = 0;
};
