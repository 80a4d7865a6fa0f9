#include "modules/signal/ug_adsr.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_adsr::ug_adsr()
{
    sustainSegment_ = 1;
    lastSegment_ = 2;
    fixedLevels_[0] = 1.0f;
    fixedLevels_[2] = 0.0f;
}

void ug_adsr::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Gate", DR_IN, DT_FSAMPLE, L"1", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Triggers the Attack phase when greater then 0 V ", &gate_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Attack", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Controls the rate of the attack, 0 V is quickest, 10 V slowest"));
    pins.push_back(
        new InterfaceObject(nullptr, L"Decay", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE, L"The Decay rate"));
    pins.push_back(new InterfaceObject(nullptr, L"Sustain", DR_IN, DT_FSAMPLE, L"7", L"", IO_POLYPHONIC_ACTIVE,
                                       L"The 'hold' level, while the gate is high (key is down)"));
    pins.push_back(new InterfaceObject(nullptr, L"Release", DR_IN, DT_FSAMPLE, L"4", L"", IO_POLYPHONIC_ACTIVE,
                                       L"The Release rate"));
    pins.push_back(new InterfaceObject(nullptr, L"Overall Level", DR_IN, DT_FSAMPLE, L"10", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Controls the overall output level.  Handy for adding Velocity sensitivity",
                                       &overall_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0));
}

int ug_adsr::Open()
{
    ratePins_[0] = plugs_[PN_ATTACK];
    ratePins_[1] = plugs_[PN_DECAY];
    ratePins_[2] = plugs_[PN_RELEASE];
    levelPins_[0] = nullptr;
    levelPins_[1] = plugs_[PN_SUSTAIN];
    levelPins_[2] = nullptr;
    return ug_envelope_base::Open();
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"ADSR", 402, 144, nullptr, &UnitClassOf<ug_adsr>::value, 256));
}
