#pragma once
// "Shift Register": at each rising clock edge the register shifts left by one
// and takes the data input's level as its new lowest bit; B0 ... B9 show the
// low ten bits. A rising reset edge clears it.

#include <cstdint>
#include <vector>

#include "modules/signal/ug_logic_complex.h"

class ug_logic_shift : public ug_logic_complex
{
public:
    enum Pins
    {
        PN_CLOCK = 0,
        PN_INPUT = 1,
        PN_RESET = 2,
        PN_B0 = 3,
    };
    static constexpr int kBits = 10;

    ~ug_logic_shift() override = default;

    ug_base* Create() override { return new ug_logic_shift(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void input_changed() override;

    uint32_t Value() const { return value_; }

private:
    // Unsigned: the bits shifted out of the top are simply lost.
    uint32_t value_ = 0;
    bool resetLevel_ = false;
    bool dataLevel_ = false;
    bool clockLevel_ = false;
};
