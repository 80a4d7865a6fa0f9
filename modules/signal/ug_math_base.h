#pragma once
// Base of the two-input arithmetic modules: picks a process function from
// the signal states of its two inputs (a run variant per streaming pattern,
// or a static pair that computes one value, holds it for a block and sleeps),
// with an optional zero short-cut for members that multiply.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_math_base : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT1 = 0,
        PN_INPUT2 = 1,
        PN_OUTPUT = 2,
    };
    // Largest output magnitude (10 kV): infinities clamp to it, NaN gives 0.
    static constexpr float kOutputLimit = 1000.0f;

    ~ug_math_base() override = default;

    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    bool PPGetActiveFlag() override;

    // Both inputs streaming; only A streaming (B static); only B streaming.
    virtual void process_both_run(int start, int count) = 0;
    virtual void process_A_run(int start, int count) = 0;
    virtual void process_B_run(int start, int count) = 0;

    void process_both_stop1(int start, int count);
    void process_both_stop2(int start, int count);

    static float Bound(float x)
    {
        if (x != x)
            return 0.0f;
        return x < -kOutputLimit ? -kOutputLimit : (x > kOutputLimit ? kOutputLimit : x);
    }

    bool ZeroShortCut() const { return zeroShortCut_; }

protected:
    // The three pins every member lists, with the member's flags and help text.
    void ListMathPins(std::vector<InterfaceObject*>& pins, int input1Flags, const std::wstring& input1Help,
                      int input2Flags);

    float* input1_ptr_ = nullptr;
    float* input2_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    bool zeroShortCut_ = false;
    float staticOutput_ = 0.0f;
};
