#include "modules/signal/ug_logic_counter.h"

#include <algorithm>
#include <string>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/logic_levels.h"

namespace
{
void AddClockAndReset(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Clock", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    pins.push_back(new InterfaceObject(nullptr, L"Reset", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
}
} // namespace

void ug_logic_counter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    AddClockAndReset(pins);
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"", L"", IO_AUTODUPLICATE, L""));
}

void ug_logic_decade::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    AddClockAndReset(pins);
    for (int b = 0; b < kOutputs; ++b)
        pins.push_back(new InterfaceObject(nullptr, L"B" + std::to_wstring(b), DR_OUT, DT_FSAMPLE, L"", L"", 0, L""));
}

int ug_logic_counter::Open()
{
    const int result = ug_logic_complex::Open();
    stepCount_ = outputCount_;
    if (stepCount_ >= 1)
        SetOutput(0, logic_levels::kHigh);
    return result;
}

void ug_logic_counter::input_changed()
{
    const int old = step_;

    const bool reset = ReadLevel(PN_RESET, resetLevel_);
    if (reset != resetLevel_)
    {
        resetLevel_ = reset;
        if (reset)
            step_ = 0;
    }

    const bool clock = ReadLevel(PN_CLOCK, clockLevel_);
    if (clock != clockLevel_)
    {
        clockLevel_ = clock;
        if (clock && !resetLevel_ && (sampleClock_ > 0 || CountsEdgeAtStart()))
        {
            ++step_;
            if (step_ >= stepCount_)
                step_ = 0;
        }
    }

    if (step_ != old)
    {
        SetOutput(old, logic_levels::kLow);
        SetOutput(step_, logic_levels::kHigh);
    }
}

namespace
{
[[maybe_unused]] const bool registeredStep = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Step Counter", 493, 32829, nullptr, &UnitClassOf<ug_logic_counter>::value, 256));
[[maybe_unused]] const bool registeredStep2 = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Step Counter2", 525, 325, nullptr, &UnitClassOf<ug_logic_counter2>::value, 256));
[[maybe_unused]] const bool registeredDecade = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Decade Counter", 483, 32829, nullptr, &UnitClassOf<ug_logic_decade>::value, 256));
} // namespace
