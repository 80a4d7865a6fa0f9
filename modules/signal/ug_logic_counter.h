#pragma once
// Step counters: one output at 5 V at a time, moving on by one at each rising
// clock edge and wrapping after the last. "Step Counter" has any number of
// outputs, "Decade Counter" ten; "Step Counter2" ignores a clock that is
// already high at the very first sample.

#include <cstdint>
#include <vector>

#include "modules/signal/ug_logic_complex.h"

class ug_logic_counter : public ug_logic_complex
{
public:
    enum Pins
    {
        PN_CLOCK = 0,
        PN_RESET = 1,
        PN_FIRST_OUT = 2,
    };

    ~ug_logic_counter() override = default;

    ug_base* Create() override { return new ug_logic_counter(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void input_changed() override;

    int Step() const { return step_; }
    int StepCount() const { return stepCount_; }

protected:
    // Clock edges at sample time 0 count only when this is true.
    virtual bool CountsEdgeAtStart() const { return true; }

private:
    int stepCount_ = 0;
    int step_ = 0;
    bool resetLevel_ = false;
    bool clockLevel_ = false;
};

class ug_logic_counter2 : public ug_logic_counter
{
public:
    ug_base* Create() override { return new ug_logic_counter2(); }

protected:
    bool CountsEdgeAtStart() const override { return false; }
};

class ug_logic_decade : public ug_logic_counter
{
public:
    static constexpr int kOutputs = 10;

    ug_base* Create() override { return new ug_logic_decade(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};
