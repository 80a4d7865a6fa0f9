#include "modules/signal/ug_control.h"
