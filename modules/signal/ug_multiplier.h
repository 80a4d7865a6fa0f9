#pragma once
// Plain product of samples (5 V times 2 V gives 1 V), registered as both
// "Ring Modulator" and "Level Adj".

#include <vector>

#include "modules/signal/ug_math_base.h"

class ug_multiplier : public ug_math_base
{
public:
    ug_multiplier();
    ~ug_multiplier() override = default;

    ug_base* Create() override { return new ug_multiplier(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

    void process_both_run(int start, int count) override;
    void process_A_run(int start, int count) override;
    void process_B_run(int start, int count) override;
};
