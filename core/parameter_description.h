#pragma once
// One patch parameter of a module type, as described by module XML or made
// from a parameter-bound pin.

#include <cstdint>
#include <string>

// Parameter flag bits (the pin flags of the same meaning share their values).
enum ParameterDescriptionFlags : uint32_t
{
    PD_IGNORE_PATCH_CHANGE = 0x2,
    PD_FILENAME = 0x10,
    PD_PRIVATE = 0x20000,
    PD_POLYPHONIC = 0x400000,
    PD_POLYPHONIC_GATE = 0x800000,
    PD_PERSISTANT = 0x1000000,
};

struct parameter_description
{
    int32_t id = 0;
    uint32_t flags = PD_PERSISTANT;
    int32_t automation = -1; // automation code; -1 none
    std::wstring name;
    std::wstring default_value;
    std::wstring metadata; // enum list or range text
    int datatype = 0;
};
