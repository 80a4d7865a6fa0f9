#include "modules/signal/ug_multiplier.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_multiplier::ug_multiplier()
{
    zeroShortCut_ = true;
}

void ug_multiplier::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListMathPins(pins, IO_LINEAR_INPUT, L"The 2 inputs are Multiplied. Then 'normalised' eg 5V multiplied by 2 V = 1V, (5 * 2 ) / 10 ", IO_LINEAR_INPUT);
}

void ug_multiplier::process_both_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * b[i]);
}

void ug_multiplier::process_A_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = b[0];
    for (int i = 0; i < count; ++i)
        out[i] = Bound(a[i] * k);
}

void ug_multiplier::process_B_run(int start, int count)
{
    const float* a = input1_ptr_ + start;
    const float* b = input2_ptr_ + start;
    float* out = output_ptr_ + start;
    const float k = a[0];
    for (int i = 0; i < count; ++i)
        out[i] = Bound(b[i] * k);
}

namespace
{
[[maybe_unused]] const bool registered0 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Ring Modulator", 461, 317, nullptr, &UnitClassOf<ug_multiplier>::value, 256));
[[maybe_unused]] const bool registered1 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Level Adj", 411, 303, nullptr, &UnitClassOf<ug_multiplier>::value, 256));
}
