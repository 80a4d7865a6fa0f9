#pragma once
// Resonant four-pole low-pass ladder ("Moog Filter"): four one-pole stages,
// feedback from the last stage to the input, and a cubic soft limit on the
// last stage. A static input lets it flush tiny states and sleep once its
// output block is constant.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

class ug_filter_biquad : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_PITCH = 1,
        PN_RESONANCE = 2,
        PN_OUTPUT = 3,
        PN_MODE = 4,
        PN_BOOST_CUT = 5,
        PN_FREQ_SCALE = 6,
    };
    enum FreqScale
    {
        FS_VOLT_PER_OCTAVE = 0,
        FS_VOLT_PER_KHZ = 1,
    };
    static constexpr int kTableSize = 514;

    ug_filter_biquad() = default;
    ~ug_filter_biquad() override = default;

    ug_base* Create() override { return new ug_filter_biquad(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    struct Coefficients
    {
        float k;
        float p;
        float scale;
    };
    // Coefficients of a normalised cutoff F (cutoff in Hz x 2 / sample rate).
    static Coefficients ForCutoff(float F);
    // Sets k, p, scale and rez from a pitch and a resonance sample.
    template <bool VoltPerKhz>
    void freq_change(float pitch, float resonance);

    float K() const { return k_; }
    float P() const { return p_; }
    float Scale() const { return scale_; }
    float Rez() const { return rez_; }
    float Y4() const { return y4_; }
    float Y1() const { return y1_; }
    void SetStages(float y1, float y2, float y3, float y4)
    {
        y1_ = y1;
        y2_ = y2;
        y3_ = y3;
        y4_ = y4;
    }

    void process_all(int start, int count) { ProcessAll<false>(start, count); }
    void process_all_khz(int start, int count) { ProcessAll<true>(start, count); }
    void process_fixed_freq(int start, int count) { ProcessFixed(start, count); }
    void process_no_input(int start, int count) { ProcessFixed(start, count); }

    void OverflowCheck();

private:
    template <bool VoltPerKhz>
    void ProcessAll(int start, int count);
    void ProcessFixed(int start, int count);
    inline float Step(float x);
    Coefficients FromTables(float pitch) const;
    void ChooseProcessFunction();
    void ClearLadder();
    void ScheduleCheck(int64_t delay);

    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
    float rez_ = 0.0f;
    float oldx_ = 0.0f;
    float p_ = 0.0f;
    float k_ = 0.0f;
    float y1_ = 0.0f;
    float oldy1_ = 0.0f;
    float y2_ = 0.0f;
    float oldy2_ = 0.0f;
    float y3_ = 0.0f;
    float oldy3_ = 0.0f;
    float y4_ = 0.0f;
    float scale_ = 1.0f;
    ULookup* scaleTable_ = nullptr;
    ULookup* kpTable_ = nullptr;
    float* signal_ptr_ = nullptr;
    float* pitch_ptr_ = nullptr;
    float* resonance_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    // "Mode" and "Boost/Cut" are accepted and never read; each instance keeps its own.
    int16_t mode_ = 0;
    float* boost_cut_ptr_ = nullptr;
    bool checkIdle_ = true;
};
