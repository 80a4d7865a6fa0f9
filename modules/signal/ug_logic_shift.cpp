#include "modules/signal/ug_logic_shift.h"

#include <string>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/logic_levels.h"

void ug_logic_shift::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Clock", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    pins.push_back(new InterfaceObject(nullptr, L"Input", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    pins.push_back(new InterfaceObject(nullptr, L"Reset", DR_IN, DT_FSAMPLE, L"", L"", IO_POLYPHONIC_ACTIVE, L""));
    for (int b = 0; b < kBits; ++b)
        pins.push_back(new InterfaceObject(nullptr, L"B" + std::to_wstring(b), DR_OUT, DT_FSAMPLE, L"", L"", 0, L""));
}

void ug_logic_shift::input_changed()
{
    const uint32_t old = value_;

    const bool reset = ReadLevel(PN_RESET, resetLevel_);
    if (reset != resetLevel_)
    {
        resetLevel_ = reset;
        if (reset)
            value_ = 0;
    }

    dataLevel_ = ReadLevel(PN_INPUT, dataLevel_);

    // The reset level does not hold the register: only its edge clears it.
    const bool clock = ReadLevel(PN_CLOCK, clockLevel_);
    if (clock != clockLevel_)
    {
        clockLevel_ = clock;
        if (clock)
            value_ = (value_ << 1) | (dataLevel_ ? 1u : 0u);
    }

    const uint32_t changed = old ^ value_;
    for (int b = 0; b < kBits && b < outputCount_; ++b)
    {
        if ((changed >> b) & 1u)
            SetOutput(b, logic_levels::OutputOf(((value_ >> b) & 1u) != 0));
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Shift Register", 485, 325, nullptr, &UnitClassOf<ug_logic_shift>::value, 256));
}
