#pragma once
// "Denormal Detector": a high output (5.0) wherever the input is a denormal.

#include "modules/signal/ug_generic_1_1.h"

class ug_denormal_detect : public ug_generic_1_1
{
public:
    ~ug_denormal_detect() override = default;

    static ug_base* CreateObject() { return new ug_denormal_detect(); }
    ug_base* Create() override { return new ug_denormal_detect(); }
    void sub_process(int start, int count) override;
};
