#pragma once
// "Comparator": outputs the high set voltage while input A is above input B,
// else the low one. No hysteresis.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_comparator : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT_A = 0,
        PN_INPUT_B = 1,
        PN_OUTPUT = 2,
        PN_HI_OUT_VAL = 3,
        PN_LO_OUT_VAL = 4,
    };

    ~ug_comparator() override = default;

    static ug_base* CreateObject() { return new ug_comparator(); }
    ug_base* Create() override { return new ug_comparator(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void process_both_run(int start, int count);
    void process_A_run(int start, int count);
    void process_B_run(int start, int count);
    void process_both_stop(int start, int count);

private:
    // Equal inputs and NaN give the low value.
    float Compare(float a, float b) const { return a > b ? hiOut_ : loOut_; }

    float* inputA_ptr_ = nullptr;
    float* inputB_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    float hiOutVal_ = 5.0f;
    float loOutVal_ = -5.0f;
    // The two output samples, worked out whenever the pins change.
    float hiOut_ = 0.5f;
    float loOut_ = -0.5f;
};
