#pragma once
// Random level source ("random"): each event setting the trigger true draws a
// new level in [0, 1) from its engine's generator and holds it; the module
// sleeps while it holds.

#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "engine/graph/ug_base.h"

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

    // The level for one draw of the generator (0 .. 2^31 - 1), in [0, 1).
    static float Draw(int randValue);

    // One step of the generator (0 .. 2^31 - 1) from `state`, which it advances.
    // Every random module of an engine shares one state, like the C library's
    // rand() but of its own engine only and without rand()'s lock; a new
    // engine starts from kFirstState.
    static int NextRandom(uint32_t& state);
    static constexpr uint32_t kFirstState = 1u;
    // Restarts the engine's sequence (the module must be open).
    void SeedRandom(uint32_t seed);

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
    uint32_t* state_ = nullptr;
    uint32_t ownState_ = kFirstState;
    smart_output output_;
    float* output_ptr_ = nullptr;
    bool trigger_ = true;
    bool finished_ = true;
};
