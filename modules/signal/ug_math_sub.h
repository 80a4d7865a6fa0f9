#pragma once
// Subtraction: Input 1 minus Input 2.

#include <vector>

#include "modules/signal/ug_math_base.h"

class ug_math_sub : public ug_math_base
{
public:
    ug_math_sub() = default;
    ~ug_math_sub() override = default;

    ug_base* Create() override { return new ug_math_sub(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

    void process_both_run(int start, int count) override;
    void process_A_run(int start, int count) override;
    void process_B_run(int start, int count) override;
};
