#include "modules/control/ug_peak_meter.h"

#include "core/InterfaceObject.h"

ug_peak_meter::ug_peak_meter()
{
    mode_ = MODE_PEAK_METER;
}

void ug_peak_meter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
                                       L"Input signal", &input_ptr_));
    pins.push_back(new InterfaceObject(&response_, L"Response", DR_IN, DT_ENUM, L"0", L"Decibel, Linear", 0));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"Dummy", DR_IN, DT_BOOL, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&value_, L"patchValue", DR_OUT, DT_FLOAT, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_FLOAT, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"Show Title On Panel", DR_IN, DT_BOOL, L"1", L"",
                                       IO_UI_COMMUNICATION | IO_PRIVATE));
}
