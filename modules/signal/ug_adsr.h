#pragma once
// Attack-decay-sustain-release envelope ("ADSR"): three segments, the decay
// holding at the sustain level while the gate is high.

#include <vector>

#include "modules/signal/ug_envelope.h"

class ug_adsr : public ug_envelope
{
public:
    enum Pins
    {
        PN_GATE = 0,
        PN_ATTACK = 1,
        PN_DECAY = 2,
        PN_SUSTAIN = 3,
        PN_RELEASE = 4,
        PN_OVERALL_LEVEL = 5,
        PN_SIGNAL_OUT = 6,
    };

    ug_adsr();
    ~ug_adsr() override = default;

    ug_base* Create() override { return new ug_adsr(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
};
