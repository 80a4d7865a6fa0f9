#include "core/PinDatatypeXml.h"

#include "core/EPlugDataType.h"

namespace
{
struct DatatypeName
{
    const char* name;
    int datatype;
};

// Looked up first-match in both directions: the order matters.
const DatatypeName datatypeInfo[] = {
    {"float", DT_FLOAT},
    {"float", DT_FSAMPLE},
    {"int", DT_INT},
    {"string", DT_TEXT},
    {"blob", DT_BLOB},
    {"midi", DT_MIDI2},
    {"bool", DT_BOOL},
    {"enum", DT_ENUM},
    {"double", DT_DOUBLE},
};
} // namespace

bool XmlStringToDatatype(const std::string& text, int& out)
{
    out = DT_FLOAT;
    if (text.empty())
        return true;
    for (const auto& row : datatypeInfo)
    {
        if (text == row.name)
        {
            out = row.datatype;
            return true;
        }
    }
    return false;
}

std::string XmlStringFromDatatype(int datatype)
{
    for (const auto& row : datatypeInfo)
    {
        if (row.datatype == datatype)
            return row.name;
    }
    return {};
}
