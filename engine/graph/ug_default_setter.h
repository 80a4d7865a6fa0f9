#pragma once
// Gives inputs that have no source their default values: one output per such
// input, added by the container; all are sent once at open, then it sleeps.

#include "engine/graph/ug_base.h"

class ug_default_setter : public ug_base
{
public:
    ug_default_setter();
    ug_base* Create() override { return new ug_default_setter(); }
    int Open() override;
};
