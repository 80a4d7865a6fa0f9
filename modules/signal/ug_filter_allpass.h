#pragma once
// Second-order all-pass filter ("All Pass"): unit gain at every frequency, a
// phase turn centred on the cutoff whose width follows "Resonance". With a
// static input it settles, runs its output out and sleeps.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

class ug_filter_allpass : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_PITCH = 1,
        PN_RESONANCE = 2,
        PN_OUTPUT = 3,
        PN_FREQ_SCALE = 4,
    };
    enum FreqScale
    {
        FS_VOLT_PER_OCTAVE = 0,
        FS_VOLT_PER_KHZ = 1,
    };
    static constexpr int kTableSize = 514;
    // Lowest normalised frequency: keeps both poles inside the unit circle.
    static constexpr float kMinNormalisedFrequency = 1e-5f;

    ug_filter_allpass() = default;
    ~ug_filter_allpass() override = default;

    ug_base* Create() override { return new ug_filter_allpass(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    static float TableEntryA(int i);
    static float TableEntryB(int i);
    // Band width of a resonance sample (0.5 ... 4.0).
    static float Width(float resonanceSample);
    // Normalised frequency of a pitch sample (kMinNormalisedFrequency ... 0.5).
    template <bool VoltPerKhz>
    float NormalisedFrequency(float pitch) const;
    // Sets a1 and b from a pitch and a resonance sample.
    template <bool VoltPerKhz>
    void CalcCoefficients(float pitch, float resonance);

    float A1() const { return a1_; }
    float B() const { return b_; }
    double W1() const { return w1_; }
    void SetState(double w1, double w2)
    {
        w1_ = w1;
        w2_ = w2;
    }

    void process_all(int start, int count) { ProcessAll<false>(start, count); }
    void process_all_khz(int start, int count) { ProcessAll<true>(start, count); }
    void process_fixed_freq(int start, int count);
    void process_static(int start, int count);

    void OverflowCheck();

private:
    template <bool VoltPerKhz>
    void ProcessAll(int start, int count);
    float Interpolate(const ULookup* table, float t) const;
    void ChooseProcessFunction();

    // The recursion's state is kept in double precision: near 0 Hz it holds
    // the input amplified many times, and single precision would swamp the output.
    double w1_ = 0.0;
    double w2_ = 0.0;
    float a1_ = 2.0f;
    float b_ = 1.0f;
    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
    ULookup* tableA_ = nullptr;
    ULookup* tableB_ = nullptr;
    float* signal_ptr_ = nullptr;
    float* pitch_ptr_ = nullptr;
    float* resonance_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    bool checkIdle_ = true;
};
