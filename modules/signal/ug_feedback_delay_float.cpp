#include "modules/signal/ug_feedback_delay_float.h"

#include "core/InterfaceObject.h"

void ug_feedback_delay_float_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FLOAT, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FLOAT, L"", L"", 0));
}

void ug_feedback_delay_float::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FLOAT, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FLOAT, L"", L"", 0));
}

void ug_feedback_delay_float::BuildHelperModule()
{
    BuildHelperOnce([]() -> ug_feedback_delay_base* { return new ug_feedback_delay_float_out(); });
}
