#pragma once
// "Floor": the whole voltage at or below its input, sample by sample.

#include <cmath>

#include "modules/signal/ug_generic_1_1.h"

class ug_math_floor : public ug_generic_1_1
{
public:
    ~ug_math_floor() override = default;

    static ug_base* CreateObject() { return new ug_math_floor(); }
    ug_base* Create() override { return new ug_math_floor(); }
    void sub_process(int start, int count) override;

    // The whole volts at or below a sample value (1.0 = 10 V). The input gets a
    // bias of 0.0000006 V first, so a whole-volt input whose sample value is not
    // exact in binary still counts as that volt. NaN plays as 0 V; past 2^24 V
    // every float is a whole volt, and the clamp keeps the result bounded.
    static float WholeVoltsBelow(float x)
    {
        constexpr float kBias = 6e-07f;
        constexpr float kLimit = 16777216.0f;
        float t = x * 10.0f + kBias;
        t = t == t ? t : 0.0f;
        t = t >= -kLimit ? t : -kLimit;
        t = t <= kLimit ? t : kLimit;
        return std::floor(t);
    }
};
