#include "engine/graph/ug_default_setter.h"

ug_default_setter::ug_default_setter()
{
    flags_ |= UGF_DEFAULT_SETTER | UGF_POLYPHONIC_AGGREGATOR | UGF_PINS_MAY_BE_TIED;
}

int ug_default_setter::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_base::process_sleep);
    // Handled by the base: sends every pending output once.
    PostEvent(sampleClock_, UET_UI_NOTIFY, 1);
    return result;
}
