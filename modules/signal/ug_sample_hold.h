#pragma once
// "Sample and Hold": takes the input on each rising edge of "Hold" (above
// 0 V, no hysteresis) and holds it until the next one.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_sample_hold : public ug_base
{
public:
    enum Pins
    {
        PN_AUDIO = 0,
        PN_HOLD = 1,
        PN_OUTPUT = 2,
    };
    // Largest held magnitude (10 kV); a NaN input is held as 0.
    static constexpr float kLimit = 1000.0f;

    ug_sample_hold() = default;
    ~ug_sample_hold() override = default;

    ug_base* Create() override { return new ug_sample_hold(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);
    void sub_process_static(int start, int count);

    float HeldValue() const { return heldValue_; }

private:
    void Track(int start, int count);

    float* audio_ptr_ = nullptr;
    float* hold_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    bool holdState_ = true;
    float heldValue_ = 0.0f;
};
