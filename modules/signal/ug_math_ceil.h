#pragma once
// "Ceil": the whole voltage at or above its input, sample by sample.

#include "modules/signal/ug_generic_1_1.h"

class ug_math_ceil : public ug_generic_1_1
{
public:
    ~ug_math_ceil() override = default;

    static ug_base* CreateObject() { return new ug_math_ceil(); }
    ug_base* Create() override { return new ug_math_ceil(); }
    void sub_process(int start, int count) override;
};
