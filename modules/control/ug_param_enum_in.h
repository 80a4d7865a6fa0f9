#pragma once
// "KV Parameter Enum In": a list value for any input that needs one. The
// value of its "List Out" is the pin's setting in the patch document; the
// module itself does no work and sleeps.

#include <cstdint>
#include <vector>

#include "modules/signal/ug_control.h"

class ug_param_enum_in : public ug_control
{
public:
    enum Pins
    {
        PN_LIST_OUT = 0,
        PN_MIDI_IN = 1,
        PN_MIDI_OUT = 2,
    };

    ug_param_enum_in() = default;
    ~ug_param_enum_in() override = default;

    ug_base* Create() override { return new ug_param_enum_in(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

private:
    int16_t listOut_ = 0;
};
