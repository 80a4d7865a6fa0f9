#include "modules/signal/ug_feedback_delay_int.h"

#include "core/InterfaceObject.h"

void ug_feedback_delay_int_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_INT, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_INT, L"", L"", 0));
}

void ug_feedback_delay_int::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_INT, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_INT, L"", L"", 0));
}

void ug_feedback_delay_int::BuildHelperModule()
{
    BuildHelperOnce([]() -> ug_feedback_delay_base* { return new ug_feedback_delay_int_out(); });
}
