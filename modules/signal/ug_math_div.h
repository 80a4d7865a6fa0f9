#pragma once
// Division in volts: 6 V over 3 V gives 2 V. A zero divisor gives a clamped
// result (NaN for 0 / 0 comes out as 0) rather than an infinity.

#include <vector>

#include "modules/signal/ug_math_base.h"

class ug_math_div : public ug_math_base
{
public:
    ug_math_div() = default;
    ~ug_math_div() override = default;

    ug_base* Create() override { return new ug_math_div(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

    void process_both_run(int start, int count) override;
    void process_A_run(int start, int count) override;
    void process_B_run(int start, int count) override;
};
