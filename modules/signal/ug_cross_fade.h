#pragma once
// Cross fade ("X-Mix"): fades between two inputs under a mix voltage with the
// panner's three fade laws. Built on the panner: its first input, pan input and
// left output serve as "Input A", "Mix" and "Signal Out", and its left and
// right fixed gains as the gains of Input B and Input A.

#include <cstdint>
#include <vector>

#include "modules/signal/ug_pan.h"

class ug_cross_fade : public ug_pan
{
public:
    enum Pins
    {
        PN_INPUT_A = 0,
        PN_INPUT_B = 1,
        PN_MIX = 2,
        PN_OUTPUT = 3,
        PN_FADE_LAW = 4,
    };

    ug_cross_fade() = default;
    ~ug_cross_fade() override = default;

    ug_base* Create() override { return new ug_cross_fade(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    float GainA() const { return rightGain_; }
    float GainB() const { return leftGain_; }

    // Curve read for a streaming mix: below 0 (or NaN) the first entry, from 1
    // up the entry at 1, interpolated between.
    static float ReadCurveHeld(const float* table, float t);

    void sub_process_mix_linear(int start, int count);
    void sub_process_mix(int start, int count);
    void sub_process(int start, int count);
    void sub_process_static(int start, int count);

private:
    float* inputB_ptr_ = nullptr;
};
