#pragma once
// "Binary Counter": counts rising clock edges and shows the count's low eight
// bits on B0 ... B7. Reset high clears the count and holds it at 0.

#include <cstdint>
#include <vector>

#include "modules/signal/ug_logic_complex.h"

class ug_logic_Bin_Count : public ug_logic_complex
{
public:
    enum Pins
    {
        PN_CLOCK = 0,
        PN_RESET = 1,
        PN_B0 = 2,
    };
    static constexpr int kBits = 8;

    ~ug_logic_Bin_Count() override = default;

    ug_base* Create() override { return new ug_logic_Bin_Count(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void input_changed() override;

    uint32_t Count() const { return count_; }

private:
    bool clockLevel_ = false;
    bool resetLevel_ = false;
    // Unsigned, so that it wraps instead of overflowing after 2^32 clocks.
    uint32_t count_ = 0;
};
