#include "modules/signal/ug_control.h"

ug_control::ug_control()
{
    SetProcessFunction(&ug_base::process_sleep);
}
