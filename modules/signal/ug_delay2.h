#pragma once
// "Delay2": the delay line with a 0 ... 10 V modulation range and a 1 s default.

#include "modules/signal/ug_delay.h"

class ug_delay2 : public ug_delay
{
public:
    ug_delay2();
    ~ug_delay2() override = default;

    ug_base* Create() override { return new ug_delay2(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};
