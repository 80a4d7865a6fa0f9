#pragma once
// Base of the N-input logic gates: every input passes a Schmitt trigger, and
// on a sample where some input level changes the member's rule gives the new
// output (5 V or 0 V). With no streaming input the gate sleeps one block
// after its last output change.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_logic_gate : public ug_base
{
public:
    enum Pins
    {
        PN_OUTPUT = 0,
        PN_FIRST_INPUT = 1,
    };
    static constexpr float kUnsetOutput = -99.0f;

    ug_logic_gate();
    ~ug_logic_gate() override = default;

    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);
    void RecalcOutput(int64_t time);
    void OnFirstSample();

    // The member's rule over the input levels: true for a high output.
    virtual bool OnInputLogicChange() = 0;

    int InputCount() const { return inputCount_; }
    float OutputValue() const { return outputValue_; }

protected:
    int inputCount_ = 0;
    std::vector<bool> levels_;

private:
    std::vector<state_type> states_;
    std::vector<const float*> readPositions_;
    // Read by an input that has no sample block.
    std::vector<float> silence_;
    int streaming_ = ST_STOPPED;
    float outputValue_ = kUnsetOutput;
    float* output_ptr_ = nullptr;
};

class ug_logic_AND : public ug_logic_gate
{
public:
    ug_base* Create() override { return new ug_logic_AND(); }
    bool OnInputLogicChange() override;
};

class ug_logic_OR : public ug_logic_gate
{
public:
    ug_base* Create() override { return new ug_logic_OR(); }
    bool OnInputLogicChange() override;
};

class ug_logic_XOR : public ug_logic_gate
{
public:
    ug_base* Create() override { return new ug_logic_XOR(); }
    bool OnInputLogicChange() override;
};

class ug_logic_NAND : public ug_logic_gate
{
public:
    ug_base* Create() override { return new ug_logic_NAND(); }
    bool OnInputLogicChange() override;
};

class ug_logic_NOR : public ug_logic_gate
{
public:
    ug_base* Create() override { return new ug_logic_NOR(); }
    bool OnInputLogicChange() override;
};
