#include "engine/parameters/PresetValues.h"

void PresetValues::GrowShortValues()
{
    for (Value& value : values)
    {
        if (value.needed > 0)
            value.bytes.reserve(static_cast<size_t>(value.needed));
        value.needed = 0;
    }
    complete = true;
}
