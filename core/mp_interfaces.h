#pragma once
// The module SDK's common interfaces as the rest of the system sees them.
#include "sdk/mp_sdk_common.h"
