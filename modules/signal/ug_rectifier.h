#pragma once
// "Rectifier": the absolute value of its input, sample by sample.

#include "modules/signal/ug_generic_1_1.h"

class ug_rectifier : public ug_generic_1_1
{
public:
    ~ug_rectifier() override = default;

    static ug_base* CreateObject() { return new ug_rectifier(); }
    ug_base* Create() override { return new ug_rectifier(); }
    void sub_process(int start, int count) override;
};
