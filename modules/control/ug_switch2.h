#pragma once
// "Switch (Many->1)": passes one of a run of audio inputs, chosen by an
// integer, to a single output, carrying over its static or streaming state.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_switch2 : public ug_base
{
public:
    enum Pins
    {
        PN_CHOICE = 0,
        PN_OUTPUT = 1,
        PN_FIRST_INPUT = 2,
    };

    ug_switch2();
    ~ug_switch2() override = default;

    ug_base* Create() override { return new ug_switch2(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    int InputCount() const { return inputCount_; }
    // Index among the routed inputs, or -1 when there are none.
    int Selected() const { return selected_; }

    void sub_process(int start, int count);
    void sub_process_static(int start, int count);
    void sub_process_no_inputs(int start, int count);

private:
    void Select();
    void ChooseProcessFunction();
    state_type SelectedState() const;

    int16_t choice_ = 0;
    int16_t selected_ = -1;
    int inputCount_ = 0;
    std::vector<int32_t> inputStates_;
    UPlug* selectedPin_ = nullptr;
    float* output_ptr_ = nullptr;
};
