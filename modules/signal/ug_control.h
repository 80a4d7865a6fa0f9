#pragma once
// Base of the modules that stand for a user-interface control: it carries the
// MIDI-learn settings that the engine fills from the control's pins. The
// module itself never reads them.

#include <cstdint>

#include "engine/graph/ug_base.h"

class ug_control : public ug_base
{
public:
    // Inline so that modules of other libraries can derive from it.
    ug_control() { SetProcessFunction(&ug_base::process_sleep); }
    ~ug_control() override = default;

    int16_t midiControllerId_ = -1;
    int16_t midiNrpn_ = 0;
    bool ignoreProgramChange_ = false;
};
