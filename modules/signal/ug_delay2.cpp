#include "modules/signal/ug_delay2.h"

ug_delay2::ug_delay2() : ug_delay(1.0f)
{
}

void ug_delay2::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListPins(pins, L"10", L"10,0,10,0", L"Varies the delay time dynamically ( 0 to 10V )", L"1.0");
}
