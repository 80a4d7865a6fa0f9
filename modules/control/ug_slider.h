#pragma once
// "Slider": the patch value of a slider, knob or button (in volts) as an
// audio-rate control signal. Changes glide linearly, over about 31 ms, or
// over 4 samples for button appearances, so that a moving control does not
// step the signal. The output sleeps once it is constant.

#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "modules/control/ug_control_pins.h"
#include "modules/signal/ug_control.h"

class ug_slider : public ug_control
{
public:
    enum Pins
    {
        PN_SIGNAL_OUT = kControlPinCount,
        PN_LO_VALUE,
        PN_HI_VALUE,
        PN_APPEARANCE,
        PN_SHOW_READOUT,
        PN_SHOW_TITLE,
        PN_PATCH_VALUE_IN,
        PN_PATCH_VALUE_OUT,
        PN_HINT,
    };
    enum Appearance
    {
        APPEARANCE_BUTTON = 4,
        APPEARANCE_BUTTON_TOGGLE = 5,
        APPEARANCE_PLAIN_BUTTON = 6,
        APPEARANCE_SMALL_BUTTON = 8,
    };
    static constexpr int kButtonGlideSamples = 4;
    // Patch values beyond this many volts either way are held at it.
    static constexpr float kLimitVolts = 1.0e6f;

    ug_slider();
    ~ug_slider() override = default;

    ug_base* Create() override { return new ug_slider(); }
    void Resume(int64_t time) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    void sub_process(int start, int count);

    // Samples over which a change glides with the present appearance.
    int GlideLength() const;
    float Target() const { return target_; }

private:
    float patchValue_ = 0.0f;
    float target_ = 0.0f;
    float hiValue_ = 10.0f;
    float loValue_ = 0.0f;
    int16_t appearance_ = 0;
    smart_output output_;
};
