#pragma once
// The values of a preset state on their way between the user-interface
// thread and the audio thread. The user-interface thread makes the set with
// every buffer already at its full size (reading a state document into it, or
// making room for the values to be read out); the audio thread only copies
// values in or out of it and hands it back, so it never allocates; the
// user-interface thread frees it. A patch manager that keeps its state as a
// document of its own carries that in `text` instead.

#include <cstdint>
#include <string>
#include <vector>

class TiXmlElement;
class dsp_patch_parameter_base;

class PresetValues
{
public:
    struct Value
    {
        dsp_patch_parameter_base* parameter = nullptr;
        // The value's raw bytes. Reading a state: the prepared value, its
        // capacity at least the parameter's room, so that it can be taken
        // over whole. Writing one: the room the value is copied into.
        std::vector<uint8_t> bytes;
        // Writing: the size of a value that did not fit the room (0: it fitted).
        int32_t needed = 0;
    };

    std::vector<Value> values;
    std::string text;
    // The program the values belong to: read, the one that plays; applied,
    // the one chosen before the values land (-1: the current one stays).
    int32_t program = -1;
    // The host's bypass, kept by the plug-in beside the patch and saved with
    // it: on or off as read, or as given by the state applied.
    bool bypass = false;

    // Writing: true when every value fitted its room. Audio thread sets it.
    bool complete = true;
    // Tells a read's answer from a late answer to an earlier read.
    uint64_t serial = 0;
    // Links sets handed back to the user-interface thread.
    PresetValues* next = nullptr;

    // Gives values that did not fit room for their size, for another try.
    // User-interface thread.
    void GrowShortValues();

    // User-interface thread. The preset state document of the set: the root
    // names the program (when one is set) and the bypass (when on), which
    // readers that know neither skip, then one Param per value.
    void Format(std::string& out) const;
    // User-interface thread. The program (one of `programs`) and the bypass
    // a document's root names; without them the program that plays stays
    // and the bypass is off.
    void ReadSwitches(const TiXmlElement& root, int programs);
};
