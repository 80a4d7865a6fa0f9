#pragma once
// "Switch (1->Many)": routes one audio input to one of a run of outputs chosen
// by an integer. An output that loses the selection goes static and is
// cleared for one block, so downstream sees a constant 0.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_switch : public ug_base
{
public:
    enum Pins
    {
        PN_CHOICE = 0,
        PN_INPUT = 1,
        PN_FIRST_OUTPUT = 2,
    };

    ug_switch();
    ~ug_switch() override = default;

    ug_base* Create() override { return new ug_switch(); }
    void Resume(int64_t time) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    int OutputCount() const { return outputCount_; }
    // Index among the routed outputs, or -1 before the first selection.
    int Selected() const { return selected_; }

    void sub_process(int start, int count);
    void sub_process2(int start, int count);
    void sub_process_static(int start, int count);

private:
    void Select();
    // Writes zeros into deselected outputs still owing a clear; true while any remain.
    bool ClearDeselected(int start, int count);
    int BlockSize() const;
    UPlug* OutputPin(int k) { return plugs_[static_cast<size_t>(PN_FIRST_OUTPUT + k)]; }

    int16_t choice_ = 0;
    int32_t inputState_ = ST_STOPPED;
    int selected_ = -1;
    int outputCount_ = 0;
    std::vector<int> countdowns_;
    float* selectedBuffer_ = nullptr;
    float* input_ptr_ = nullptr;
};
