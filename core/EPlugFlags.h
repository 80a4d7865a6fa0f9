#pragma once
// The flag word of a pin description. Module documents and built-in pin lists
// carry these values: never renumber.

#include <cstdint>

enum EPlugFlags : uint32_t
{
    IO_POLYPHONIC_ACTIVE = 0x1,          // input makes the module polyphony-active (added to audio inputs)
    IO_IGNORE_PATCH_CHANGE = 0x2,        // "ignorePatchChange"
    IO_RENAME = 0x4,                     // "autoRename"
    IO_AUTODUPLICATE = 0x8,              // "autoDuplicate": the pin may exist in several copies
    IO_FILENAME = 0x10,                  // "isFilename"
    IO_CUSTOMISABLE = 0x40,
    IO_ADDER = 0x80,                     // a further source joins the adder instead of being summed in front
    IO_PRIVATE = 0x100,                  // "private": disabled when not connected
    IO_LINEAR_INPUT = 0x200,             // "linearInput": output is linear in this input
    IO_UI_COMMUNICATION = 0x400,         // GUI pin
    IO_NO_AUTOMATION = 0x2000,           // "noAutomation"
    IO_UI_DUAL_FLAG = 0x8000,            // GUI pin mirrored on the DSP side
    IO_PATCH_STORE = 0x10000,            // "parameterId": bound to a patch parameter
    IO_PARAMETER_PRIVATE = 0x20000,      // parameter made from the pin is private
    IO_MINIMISED = 0x40000,              // "isMinimised"
    IO_BUILT_IN_GUI = 0x100000,          // GUI pin of a built-in unit
    IO_HOST_CONTROL = 0x200000,          // "hostConnect"
    IO_PAR_POLYPHONIC = 0x400000,        // "isPolyphonic"
    IO_PAR_POLYPHONIC_GATE = 0x800000,   // gate of a polyphonic parameter
    IO_AUTOCONFIGURE_PARAMETER = 0x2000000, // "autoConfigureParameter"
    IO_PLUG_SPECIAL = 0x4000000,         // carried into the live pin's flags
    IO_REDRAW_ON_CHANGE = 0x8000000,     // "redrawOnChange"
};
