#pragma once
// "Denormal Cleaner": replaces denormals, zeros and non-finite samples by +0.0.

#include "modules/signal/ug_generic_1_1.h"

class ug_denormal_stop : public ug_generic_1_1
{
public:
    ~ug_denormal_stop() override = default;

    static ug_base* CreateObject() { return new ug_denormal_stop(); }
    ug_base* Create() override { return new ug_denormal_stop(); }
    void sub_process(int start, int count) override;
};
