#pragma once
// "Clipper": limits a signal to the band between a low and a high limit, both
// of which may be signals themselves.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_clipper : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT = 0,
        PN_HI_LIMIT = 1,
        PN_LO_LIMIT = 2,
        PN_OUTPUT = 3,
    };

    ~ug_clipper() override = default;

    static ug_base* CreateObject() { return new ug_clipper(); }
    ug_base* Create() override { return new ug_clipper(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // The high limit is tested first, so crossed limits give hi above hi and lo elsewhere.
    static float Clip(float x, float hi, float lo)
    {
        x = x == x ? x : 0.0f;
        return x > hi ? hi : (lo > x ? lo : x);
    }

    void sub_process(int start, int count);
    void process_all_stop(int start, int count);

private:
    float* input_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    float* hi_ptr_ = nullptr;
    float* lo_ptr_ = nullptr;
};
