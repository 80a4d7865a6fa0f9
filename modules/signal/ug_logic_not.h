#pragma once
// "NOT Gate": the input through the logic Schmitt trigger, inverted: 0 V out
// while the input is high, 5 V while it is low. Runs in stretches between
// level changes and sleeps one block after its last change once the input no
// longer streams.

#include <cstdint>

#include "modules/signal/ug_generic_1_1.h"

class ug_logic_not : public ug_generic_1_1
{
public:
    ~ug_logic_not() override = default;

    ug_base* Create() override { return new ug_logic_not(); }
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void sub_process(int start, int count) override;

    void OnFirstSample();
    float OutputValue() const { return outputValue_; }

private:
    // Flips the level and announces the new output at the current sample time.
    void Flip();

    bool level_ = false;
    float outputValue_ = 0.5f;
    state_type inputState_ = ST_STOPPED;
};
