#include "modules/signal/ug_math_sub.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_math_sub::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListMathPins(pins, IO_POLYPHONIC_ACTIVE, L"Input 2 is Subtracted from Input 1", IO_POLYPHONIC_ACTIVE);
}

void ug_math_sub::process_both_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] - b[i]);
}

void ug_math_sub::process_A_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = b[0];
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] - k);
}

void ug_math_sub::process_B_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = a[0];
    for (int i = 0; i < count; ++i)
        out[i] = Bound(k - b[i]);
}

namespace
{
[[maybe_unused]] const bool registered0 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Subtract", 508, 312, nullptr, &UnitClassOf<ug_math_sub>::value, 256));
}
