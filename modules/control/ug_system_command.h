#pragma once
// "OS Command": a trigger input with a command text. It follows the trigger
// through a Schmitt trigger and keeps only that state; it runs nothing.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_system_command : public ug_base
{
public:
    enum Pins
    {
        PN_TRIGGER = 0,
        PN_COMMAND = 1,
    };

    ug_system_command();
    ug_base* Create() override { return new ug_system_command(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void sub_process(int start, int count);

    bool TriggerState() const { return triggerState_; }
    // How often the state has changed since construction.
    int64_t TriggerChanges() const { return triggerChanges_; }
    const std::wstring& Command() const { return command_; }

private:
    void Flip();

    bool triggerState_ = false;
    int64_t triggerChanges_ = 0;
    state_type triggerPinState_ = ST_STOPPED;
    std::wstring command_;
    float* input_ = nullptr;
};
