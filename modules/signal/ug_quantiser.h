#pragma once
// "Quantiser": rounds "Signal In" to the nearest multiple of "Step Size"
// (ties upward); both in the same units, so the step is in volts like the signal.

#include <cmath>
#include <cstdint>
#include <vector>

#include "modules/signal/ug_math_base.h"

class ug_quantiser : public ug_math_base
{
public:
    // Smallest step used; non-positive and NaN steps fall back to it.
    static constexpr float kMinStep = 1e-9f;

    ug_quantiser() = default;
    ~ug_quantiser() override = default;

    ug_base* Create() override { return new ug_quantiser(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    static float Quantise(float x, float step)
    {
        const float s = step > kMinStep ? step : kMinStep;
        return Bound(std::floor((s * 0.5f + x) / s) * s);
    }

    void process_both_run(int start, int count) override;
    void process_A_run(int start, int count) override;
    void process_B_run(int start, int count) override;
    void processBypass(int start, int count);
};
