#include "core/ParameterFieldType.h"

#include "core/EPlugDataType.h"

namespace
{
struct FieldInfo
{
    int field;
    int datatype;
    int size;
};

const FieldInfo fieldInfo[] = {
    {FT_VALUE, -1, -1},
    {FT_SHORT_NAME, DT_TEXT, -1},
    {2, DT_TEXT, -1},
    {FT_MENU_ITEMS, DT_TEXT, -1},
    {FT_MENU_SELECTION, DT_INT, 4},
    {FT_RANGE_LO, -1, -1},
    {FT_RANGE_HI, -1, -1},
    {FT_ENUM_LIST, DT_TEXT, -1},
    {FT_FILE_EXTENSION, DT_TEXT, 0},
    {FT_IGNORE_PROGRAM_CHANGE, DT_BOOL, 1},
    {FT_PRIVATE, DT_BOOL, 1},
    {FT_AUTOMATION, DT_INT, 4},
    {FT_AUTOMATION_SYSEX, DT_TEXT, -1},
    {FT_DEFAULT, -1, -1},
    {FT_GRAB, DT_BOOL, 1},
    {FT_NORMALIZED, DT_FLOAT, 4},
    {50, DT_BOOL, 1},
    {51, DT_INT, 4},
    {52, DT_INT, 4},
    {53, DT_FLOAT, 4},
    {54, DT_FLOAT, 4},
};

struct FieldName
{
    const char* name;
    int field;
};

const FieldName parameterFieldInfo[] = {
    {"Value", FT_VALUE},
    {"ShortName", FT_SHORT_NAME},
    {"MenuItems", FT_MENU_ITEMS},
    {"MenuSelection", FT_MENU_SELECTION},
    {"RangeMinimum", FT_RANGE_LO},
    {"RangeMaximum", FT_RANGE_HI},
    {"EnumList", FT_ENUM_LIST},
    {"FileExtension", FT_FILE_EXTENSION},
    {"IgnoreProgramChange", FT_IGNORE_PROGRAM_CHANGE},
    {"Private", FT_PRIVATE},
    {"Automation", FT_AUTOMATION},
    {"Automation Sysex", FT_AUTOMATION_SYSEX},
    {"Default", FT_DEFAULT},
    {"Grab", FT_GRAB},
    {"Normalized", FT_NORMALIZED},
};

const FieldInfo* find(int field)
{
    for (const auto& row : fieldInfo)
    {
        if (row.field == field)
            return &row;
    }
    return nullptr;
}
} // namespace

int getFieldDatatype(ParameterFieldType field)
{
    const FieldInfo* row = find(field);
    return row ? row->datatype : -1;
}

int getFieldSize(ParameterFieldType field)
{
    const FieldInfo* row = find(field);
    return row ? row->size : -1;
}

bool isKnownParameterField(int field)
{
    return find(field) != nullptr;
}

bool XmlStringToParameterField(const std::string& text, int& out)
{
    out = FT_VALUE;
    if (text.empty())
        return true;
    for (const auto& row : parameterFieldInfo)
    {
        if (text == row.name)
        {
            out = row.field;
            return true;
        }
    }
    return false;
}

std::string XmlStringFromParameterField(int field)
{
    for (const auto& row : parameterFieldInfo)
    {
        if (row.field == field)
            return row.name;
    }
    return {};
}
