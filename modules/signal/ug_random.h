#pragma once
// Random level source ("random"): each event setting the trigger true draws a
// new level in [0, 1) from the C library generator and holds it; the module
// sleeps while it holds.

#include <vector>

#include "engine/smart_output.h"
#include "engine/ug_base.h"

class ug_random : public ug_base
{
public:
    enum Pins
    {
        PN_TRIGGER = 0,
        PN_OUTPUT = 1,
    };
    static constexpr float kRandScale = 4.656613e-10f;
    static constexpr float kLargestLevel = 0.99999994f; // the float just below 1

    // The level for one value of the C library generator, in [0, 1).
    static float Draw(int randValue);

    ug_random();
    ~ug_random() override = default;

    ug_base* Create() override { return new ug_random(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);

    float Target() const { return output_.target_; }
    bool Finished() const { return finished_; }

private:
    smart_output output_;
    float* output_ptr_ = nullptr;
    bool trigger_ = true;
    bool finished_ = true;
};
