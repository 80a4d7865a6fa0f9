#pragma once
// Pin directions and datatypes. The numeric codes are stored in patch
// documents and module descriptions: never renumber them.

enum EDirection : int
{
    DR_IN = 0,
    DR_OUT = 1,
};

enum EPlugDataType : int
{
    DT_ENUM = 0,
    DT_TEXT = 1,
    DT_MIDI2 = 2,
    DT_DOUBLE = 3,
    DT_BOOL = 4,
    DT_FSAMPLE = 5, // audio: a block of 32-bit float samples
    DT_FLOAT = 6,
    DT_INT = 8,
    DT_BLOB = 10,
};
