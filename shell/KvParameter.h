#pragma once
// The controller's record of one patch parameter, keyed by its handle.

#include <cstdint>
#include <string>

struct KvParameter
{
    // Host parameter id, or -1 when the parameter has no host parameter.
    int32_t index = -1;
    // Pin datatype code of the value (6 float, 8 int, 1 text, 10 blob ...).
    int32_t valueType = 6;
    // Choices of an int or text parameter, as an enum-list text.
    std::wstring enumList;
    double rangeMinimum = 0.0;
    double rangeMaximum = 10.0;
    // The current value in raw form.
    std::string value;
    std::string name;
    // Nonzero: saved in user preset files.
    int32_t stateful = 1;
    int32_t hostControl = -1;
    int32_t moduleHandle = -1;
    int32_t moduleParamId = -1;

    // An enum (0) or an int (8): whole numbers, the choices of enumList or,
    // without one, a range in whole steps, as the engine's enum and int
    // parameters hold them. The host counts a list's choices by position.
    bool HasChoices() const { return valueType == 0 || valueType == 8; }
};
