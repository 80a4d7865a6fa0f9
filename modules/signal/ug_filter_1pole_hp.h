#pragma once
// Single-pole high-pass filter ("1 Pole HP"): the low-pass state update, with
// the input minus the low-pass state as output.

#include "modules/signal/ug_filter_1pole.h"

class ug_filter_1pole_hp : public ug_filter_1pole
{
public:
    ug_filter_1pole_hp() : ug_filter_1pole(false) {}
    ~ug_filter_1pole_hp() override = default;

    ug_base* Create() override { return new ug_filter_1pole_hp(); }
};
