#pragma once
// The envelope's choice of segment routine and its reaction to pin changes.

#include <cstdint>

#include "modules/signal/ug_envelope_base.h"

class ug_envelope : public ug_envelope_base
{
public:
    ug_envelope();
    ~ug_envelope() override = default;

    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ChooseSubProcess() override;
};
