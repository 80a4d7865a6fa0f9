#include "modules/control/ug_control_pins.h"

#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"

void ListControlPins(ug_control& control, std::vector<InterfaceObject*>& pins)
{
    // Channel, MIDI In and MIDI Out are declared for the editor; their values are kept nowhere.
    pins.push_back(new InterfaceObject(nullptr, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_PRIVATE | IO_IGNORE_PATCH_CHANGE | IO_POLYPHONIC_ACTIVE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&control.midiControllerId_, L"MIDI Controller ID", DR_IN, DT_ENUM, L"-1", L"",
                                       IO_PRIVATE | IO_POLYPHONIC_ACTIVE));
    pins.push_back(new InterfaceObject(&control.ignoreProgramChange_, L"Ignore Program Change", DR_IN, DT_BOOL, L"0",
                                       L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&control.midiNrpn_, L"MIDI NRPN", DR_IN, DT_ENUM, L"0", L"range 0,16255",
                                       IO_PRIVATE));
}
