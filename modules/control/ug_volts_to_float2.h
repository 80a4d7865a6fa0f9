#pragma once
// "VoltsToFloat2": the same meter as VoltsToFloat, but it takes part in a
// polyphonic chain like an ordinary module instead of ending it.

#include "modules/control/ug_volts_to_float.h"

class ug_volts_to_float2 : public ug_volts_to_float
{
public:
    ug_volts_to_float2();
    ~ug_volts_to_float2() override = default;

    static ug_base* CreateObject() { return new ug_volts_to_float2(); }
    ug_base* Create() override { return new ug_volts_to_float2(); }
};
