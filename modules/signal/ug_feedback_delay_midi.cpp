#include "modules/signal/ug_feedback_delay_midi.h"

#include "core/InterfaceObject.h"

void ug_feedback_delay_midi_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"", DR_IN, DT_ENUM, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
}

void ug_feedback_delay_midi::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
}

void ug_feedback_delay_midi::BuildHelperModule()
{
    BuildHelperOnce([]() -> ug_feedback_delay_base* { return new ug_feedback_delay_midi_out(); });
}
