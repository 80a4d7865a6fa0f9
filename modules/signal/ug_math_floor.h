#pragma once
// "Floor": the whole voltage at or below its input, sample by sample.

#include "modules/signal/ug_generic_1_1.h"

class ug_math_floor : public ug_generic_1_1
{
public:
    ~ug_math_floor() override = default;

    static ug_base* CreateObject() { return new ug_math_floor(); }
    ug_base* Create() override { return new ug_math_floor(); }
    void sub_process(int start, int count) override;
};
