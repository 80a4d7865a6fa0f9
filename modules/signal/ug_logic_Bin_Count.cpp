#include "modules/signal/ug_logic_Bin_Count.h"

#include <string>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/logic_levels.h"

void ug_logic_Bin_Count::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Clock", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    pins.push_back(new InterfaceObject(nullptr, L"Reset", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    for (int b = 0; b < kBits; ++b)
        pins.push_back(new InterfaceObject(nullptr, L"B" + std::to_wstring(b), DR_OUT, DT_FSAMPLE, L"", L"", 0, L""));
}

void ug_logic_Bin_Count::input_changed()
{
    const uint32_t old = count_;

    const bool reset = ReadLevel(PN_RESET, resetLevel_);
    if (reset != resetLevel_)
    {
        resetLevel_ = reset;
        if (reset)
            count_ = 0;
    }

    const bool clock = ReadLevel(PN_CLOCK, clockLevel_);
    if (clock != clockLevel_)
    {
        clockLevel_ = clock;
        // An input already high at the very first sample is no edge.
        if (clock && !resetLevel_ && sampleClock_ > 0)
            ++count_;
    }

    const uint32_t changed = old ^ count_;
    for (int b = 0; b < kBits; ++b)
    {
        if ((changed >> b) & 1u)
            SetOutput(b, logic_levels::OutputOf(((count_ >> b) & 1u) != 0));
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Binary Counter", 482, 325, nullptr, &UnitClassOf<ug_logic_Bin_Count>::value, 256));
}
