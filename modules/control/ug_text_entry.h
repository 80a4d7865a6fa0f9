#pragma once
// "Text Entry": the text typed into a text control in the editor, passed on
// unchanged from the patch value to the "Text Out" output.

#include <cstdint>
#include <string>
#include <vector>

#include "modules/control/ug_control_pins.h"
#include "modules/signal/ug_control.h"

class ug_text_entry : public ug_control
{
public:
    enum Pins
    {
        PN_TEXT_OUT = kControlPinCount,
        PN_SHOW_TITLE,
        PN_PATCH_VALUE_IN,
        PN_PATCH_VALUE_OUT,
        PN_HINT,
    };

    ug_text_entry() = default;
    ~ug_text_entry() override = default;

    ug_base* Create() override { return new ug_text_entry(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

    const std::wstring& TextOut() const { return textOut_; }

private:
    std::wstring patchValue_;
    std::wstring textOut_;
};
