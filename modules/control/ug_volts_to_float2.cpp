#include "modules/control/ug_volts_to_float2.h"

ug_volts_to_float2::ug_volts_to_float2()
{
    flags_ = (flags_ | UGF_VOICE_MON_IGNORE) & ~static_cast<uint32_t>(UGF_POLYPHONIC_AGGREGATOR);
}
