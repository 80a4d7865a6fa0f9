#pragma once
// Fixed 1 kHz sine at half scale ("1 KHz Tone"), for checking a signal path.
// Streams from open and never sleeps.

#include <vector>

#include "engine/graph/ug_base.h"

class ug_test_tone : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL_OUT = 0,
    };
    static constexpr float kRadiansPerSecondAt1kHz = 6283.1855f;

    ug_test_tone();
    ~ug_test_tone() override = default;

    ug_base* Create() override { return new ug_test_tone(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/) override {}

    void sub_process(int start, int count);

    float Phase() const { return phase_; }
    float Increment() const { return increment_; }

private:
    float phase_ = 0.0f;
    float increment_ = 0.0f;
    float* output_ptr_ = nullptr;
};
