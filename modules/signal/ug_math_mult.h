#pragma once
// Multiplication in volts: 2 V times 3 V gives 6 V.

#include <vector>

#include "modules/signal/ug_math_base.h"

class ug_math_mult : public ug_math_base
{
public:
    ug_math_mult();
    ~ug_math_mult() override = default;

    ug_base* Create() override { return new ug_math_mult(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

    void process_both_run(int start, int count) override;
    void process_A_run(int start, int count) override;
    void process_B_run(int start, int count) override;
};
