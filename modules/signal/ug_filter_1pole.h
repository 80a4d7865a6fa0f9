#pragma once
// Single-pole low-pass filter ("1 Pole LP"). Cutoff from a pitch input in
// 1 Volt/Octave or 1 Volt/kHz; with a static input and fixed cutoff it settles,
// runs its output out and sleeps.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

class ug_filter_1pole : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_PITCH = 1,
        PN_OUTPUT = 2,
        PN_FREQ_SCALE = 3,
    };
    enum FreqScale
    {
        FS_VOLT_PER_OCTAVE = 0,
        FS_VOLT_PER_KHZ = 1,
    };
    static constexpr int kTableSize = 514;

    ug_filter_1pole();
    ~ug_filter_1pole() override = default;

    ug_base* Create() override { return new ug_filter_1pole(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // Pole of a pitch (1.0 = 10 V) at a sample rate, worked out directly.
    static float DirectCoefficient(float pitch, int freqScale, float sampleRate);
    // Table entry i: the pole for i / 512 in 1 Volt/Octave.
    static float TableEntry(int i, float sampleRate);
    // Pole of a pitch: from the shared table when it covers it, else directly.
    float Coefficient(float pitch) const;
    float OctaveCoefficient(float pitch, float sampleRate) const;

    float State() const { return y_; }
    void SetState(float y) { y_ = y; }
    float Pole() const { return a_; }

    void process_all_lp(int start, int count) { ProcessAll<true, false>(start, count); }
    void process_all_hp(int start, int count) { ProcessAll<false, false>(start, count); }
    void process_all_lp_khz(int start, int count) { ProcessAll<true, true>(start, count); }
    void process_all_hp_khz(int start, int count) { ProcessAll<false, true>(start, count); }
    void process_fixed_freq_lp(int start, int count) { ProcessFixed<true>(start, count); }
    void process_fixed_freq_hp(int start, int count) { ProcessFixed<false>(start, count); }
    void process_fixed_freq_lp_settling(int start, int count) { ProcessSettling<true>(start, count); }
    void process_fixed_freq_hp_settling(int start, int count) { ProcessSettling<false>(start, count); }
    void process_static(int start, int count);

    void OnFirstSample();
    void OverflowCheck();

protected:
    explicit ug_filter_1pole(bool lowPass);

private:
    template <bool LowPass, bool VoltPerKhz>
    void ProcessAll(int start, int count);
    template <bool LowPass>
    void ProcessFixed(int start, int count);
    template <bool LowPass>
    void ProcessSettling(int start, int count);

    void ChooseProcessFunction();
    void ArmOverflowCheck();
    int64_t OneSecond();

    float y_ = 0.0f;
    float a_ = 0.0f;
    float complement_ = 1.0f;
    ULookup* cutoffTable_ = nullptr;
    float* signal_ptr_ = nullptr;
    float* pitch_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    bool checkIdle_ = true;
    bool checkPending_ = false;
    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
    bool lowPass_;
};
