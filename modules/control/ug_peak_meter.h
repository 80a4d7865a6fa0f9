#pragma once
// "Peak Meter": the LED indicator in its bar-graph mode, with a choice of
// decibel or linear response.

#include <vector>

#include "modules/control/ug_led.h"

class ug_peak_meter : public ug_led
{
public:
    static constexpr int PN_RESPONSE = 1;

    ug_peak_meter();
    static ug_base* CreateObject() { return new ug_peak_meter(); }
    ug_base* Create() override { return new ug_peak_meter(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};
