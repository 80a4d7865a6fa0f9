#pragma once
// "List Entry": the choice of a list control in the editor, passed on
// unchanged from the patch value to the "Choice" list output.

#include <cstdint>
#include <vector>

#include "modules/control/ug_control_pins.h"
#include "modules/signal/ug_control.h"

class ug_combobox : public ug_control
{
public:
    enum Pins
    {
        PN_CHOICE = kControlPinCount,
        PN_APPEARANCE,
        PN_SHOW_TITLE,
        PN_PATCH_VALUE_IN,
        PN_PATCH_VALUE_OUT,
        PN_HINT,
    };

    ug_combobox();
    ~ug_combobox() override = default;

    ug_base* Create() override { return new ug_combobox(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    int16_t Choice() const { return choice_; }

private:
    int16_t patchValue_ = 0;
    int16_t choice_ = 0;
    // Read only by the editor side.
    int16_t appearance_ = 0;
};
