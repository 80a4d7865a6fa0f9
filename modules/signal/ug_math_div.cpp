#include "modules/signal/ug_math_div.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_math_div::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListMathPins(pins, IO_LINEAR_INPUT, L"Input 1 is Divided by Input 2", IO_POLYPHONIC_ACTIVE);
}

void ug_math_div::process_both_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * 0.1f / b[i]);
}

void ug_math_div::process_A_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = 0.1f / b[0];
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * k);
}

void ug_math_div::process_B_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = a[0] * 0.1f;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(k / b[i]);
}

namespace
{
[[maybe_unused]] const bool registered0 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Divide", 507, 312, nullptr, &UnitClassOf<ug_math_div>::value, 256));
}
