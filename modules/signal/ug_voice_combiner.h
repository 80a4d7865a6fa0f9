#pragma once
// "Voice Combiner": the automatic adder offered as a module a patch can hold.
// Every voice that reaches it is joined to an input of its own and summed;
// polyphony and voice numbers stop here, so the module is never cloned.

#include "engine/graph/ug_adder2.h"

class ug_voice_combiner : public ug_adder2
{
public:
    ug_voice_combiner();
    ~ug_voice_combiner() override = default;

    ug_base* Create() override { return new ug_voice_combiner(); }
};
