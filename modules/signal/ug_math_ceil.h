#pragma once
// "Ceil": always one volt above "Floor", sample by sample: the ceiling between
// whole volts, the next volt up at a whole volt (2 V gives 3 V, 0 V gives 1 V).

#include "modules/signal/ug_generic_1_1.h"

class ug_math_ceil : public ug_generic_1_1
{
public:
    ~ug_math_ceil() override = default;

    static ug_base* CreateObject() { return new ug_math_ceil(); }
    ug_base* Create() override { return new ug_math_ceil(); }
    void sub_process(int start, int count) override;
};
