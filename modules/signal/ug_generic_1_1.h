#pragma once
// Base of the modules with one audio input and one audio output whose output
// is a per-sample function of the input. The input's state passes to the
// output; a static input runs the law over one more block, then sleeps.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_generic_1_1 : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT = 0,
        PN_OUTPUT = 1,
    };

    ~ug_generic_1_1() override = default;

    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // The member's law over output samples start ... start + count - 1.
    virtual void sub_process(int start, int count) = 0;
    void sub_process_static(int start, int count);

protected:
    float* input_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
};
