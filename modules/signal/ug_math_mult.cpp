#include "modules/signal/ug_math_mult.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_math_mult::ug_math_mult()
{
    zeroShortCut_ = true;
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
}

void ug_math_mult::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListMathPins(pins, IO_LINEAR_INPUT, L"The 2 inputs are Multiplied", IO_POLYPHONIC_ACTIVE);
}

void ug_math_mult::process_both_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * b[i] * 10.0f);
}

void ug_math_mult::process_A_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = b[0] * 10.0f;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * k);
}

void ug_math_mult::process_B_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = a[0] * 10.0f;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(b[i] * k);
}

namespace
{
[[maybe_unused]] const bool registered0 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Multiply", 506, 312, nullptr, &UnitClassOf<ug_math_mult>::value, 256));
}
