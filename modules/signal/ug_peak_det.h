#pragma once
// "Peak Follower": follows the magnitude of its input, rising with the attack
// time constant and falling with the decay one (t / 100 seconds, 1.0 = 10 V).

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_peak_det : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_ATTACK = 1,
        PN_DECAY = 2,
        PN_OUTPUT = 3,
    };
    static constexpr float kMinTime = 0.001f;
    // Largest magnitude followed (10 kV); NaN input counts as 0.
    static constexpr float kLimit = 1000.0f;
    static constexpr double kSettleTolerance = 9.999999974752427e-7;

    ug_peak_det() = default;
    ~ug_peak_det() override = default;

    ug_base* Create() override { return new ug_peak_det(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // Per-sample smoothing coefficient for a time value t.
    static double Coefficient(float t, float sampleRate);
    static float Magnitude(float x)
    {
        const float m = x < 0.0f ? -x : x;
        return m < kLimit ? m : (m == m ? kLimit : 0.0f);
    }

    void sub_process_settling(int start, int count);
    void sub_process(int start, int count);
    void sub_process_all_run(int start, int count);
    void process_static(int start, int count);

    double Level() const { return level_; }

private:
    static float LimitTime(float t) { return t > kMinTime ? t : kMinTime; }

    float* signal_ptr_ = nullptr;
    float* attack_ptr_ = nullptr;
    float* decay_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    double level_ = 0.0;
    double attack_ = 0.0;
    double decay_ = 0.0;
};
