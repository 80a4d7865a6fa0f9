#pragma once
// Base of the clocked logic modules (counters, shift register). Inputs pass
// the logic Schmitt trigger; the member's input_changed runs at the exact
// sample where an input level changes, after the outputs have been written up
// to that sample. Outputs are stepped smart outputs, held for one block after
// each change; with no streaming input the module then sleeps.

#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "engine/graph/ug_base.h"

class ug_logic_complex : public ug_base
{
public:
    ug_logic_complex();
    ~ug_logic_complex() override = default;

    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // The member's reaction to its inputs at the module's current sample time.
    virtual void input_changed() {}

    void sub_process(int start, int count);
    void process_run(int start, int count);

    int InputCount() const { return inputCount_; }
    int OutputCount() const { return outputCount_; }

protected:
    // Output k (in output order) steps to `value` at the current sample time.
    void SetOutput(int k, float value);
    // The Schmitt level of input pin `pin` read now, starting from `level`.
    bool ReadLevel(int pin, bool level) const;

    int inputCount_ = 0;
    int outputCount_ = 0;

private:
    std::vector<int> inputPins_;
    std::vector<bool> levels_;
    std::vector<const float*> readPositions_;
    std::vector<smart_output> outputs_;
    // Read by an input that has no sample block.
    std::vector<float> silence_;
    bool streaming_ = false;
};
