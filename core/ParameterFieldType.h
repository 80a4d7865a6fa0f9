#pragma once
// Which field of a patch parameter a pin reads or writes, with the XML names,
// datatypes and byte sizes of the fields.

#include <string>

enum ParameterFieldType : int
{
    FT_VALUE = 0,
    FT_SHORT_NAME = 1,
    FT_MENU_ITEMS = 3,
    FT_MENU_SELECTION = 4,
    FT_RANGE_LO = 5,
    FT_RANGE_HI = 6,
    FT_ENUM_LIST = 7,
    FT_FILE_EXTENSION = 8,
    FT_IGNORE_PROGRAM_CHANGE = 9,
    FT_PRIVATE = 10,
    FT_AUTOMATION = 11,
    FT_AUTOMATION_SYSEX = 12,
    FT_DEFAULT = 13,
    FT_GRAB = 14,
    FT_NORMALIZED = 15,
};

// Datatype of the field; -1 for the parameter's own datatype or an unknown code.
int getFieldDatatype(ParameterFieldType field);
// Byte size of the field; -1 when not fixed or unknown.
int getFieldSize(ParameterFieldType field);
// True for the codes that name a field (those the two tables above know).
bool isKnownParameterField(int field);

// out := 0 first; empty text gives true with 0; an exact XML name true and its code.
bool XmlStringToParameterField(const std::string& text, int& out);
// The XML name of the code; empty when it has none.
std::string XmlStringFromParameterField(int field);
