#pragma once
// Resonant two-integrator state-variable filter ("SV Filter") with low-pass,
// high-pass, band-pass and band-reject outputs at once. With only one of the
// low or high outputs connected and static controls it runs a one-output loop.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

class ug_filter_sv : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_PITCH = 1,
        PN_RESONANCE = 2,
        PN_LOW_PASS = 3,
        PN_HI_PASS = 4,
        PN_BAND_PASS = 5,
        PN_BAND_REJECT = 6,
        PN_FREQ_SCALE = 7,
    };
    enum FreqScale
    {
        FS_VOLT_PER_OCTAVE = 0,
        FS_VOLT_PER_KHZ = 1,
    };
    static constexpr int kTableSize = 514;

    ug_filter_sv() = default;
    ~ug_filter_sv() override = default;

    ug_base* Create() override { return new ug_filter_sv(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // Table entries: cutoff factor for pitch i / 512, and the stability limit.
    static float CutoffEntry(int i, float sampleRate);
    static float LimitEntry(int i);
    // Resonance (0 ... 0.9992) of a resonance sample.
    static float Resonance(float resonanceSample);
    static float CalcQ(float resonanceSample) { return 2.0f - 2.0f * Resonance(resonanceSample); }
    float CalcMSF(float resonanceSample) const;
    // Frequency factor of a pitch, before the limit; never negative.
    template <bool VoltPerKhz>
    float CalcFreqFactor(float pitch) const;

    float Low() const { return l_; }
    float Band() const { return b_; }
    void SetState(float low, float band)
    {
        l_ = low;
        b_ = band;
    }
    float Factor() const { return F_; }
    float Damping() const { return q_; }
    float Limit() const { return M_; }

    void process_all(int start, int count) { ProcessAll<false>(start, count); }
    void process_all_khz(int start, int count) { ProcessAll<true>(start, count); }
    void process_both_run(int start, int count) { ProcessBothRun<false>(start, count); }
    void process_both_run_khz(int start, int count) { ProcessBothRun<true>(start, count); }
    void process_fixed_lp(int start, int count) { ProcessFixed<true>(start, count); }
    void process_fixed_hp(int start, int count) { ProcessFixed<false>(start, count); }
    void process_static(int start, int count);

    void OnFirstSample();
    void OverflowCheck();

private:
    template <bool VoltPerKhz>
    void ProcessAll(int start, int count);
    template <bool VoltPerKhz>
    void ProcessBothRun(int start, int count);
    template <bool LowPass>
    void ProcessFixed(int start, int count);
    template <int Routine>
    static void ProcessBatch(ug_filter_sv* const* batch, int count, int start, int frames);
    // The copies function of a routine: runs this voice's filter and, in the
    // same loop, those of the copies after it in the list with the same
    // routine and tables and no event in the piece, so that their recursions
    // overlap.
    template <int Routine>
    static EventProcessor* RunRow(EventProcessor* first, int blockPosition, int sampleFrames);

    float CutoffAt(int i) const { return cutoff_ ? cutoff_[i] : CutoffEntry(i, SampleRate()); }
    void ChooseProcessFunction();
    void SetOutputState(int64_t time, state_type state);
    bool HasSettled(float x) const;

    // What a piece reads, in the two lines of its own the block loop fetches
    // ahead of the run. Coefficients are kept from the last piece, stored by
    // whichever copy ran it.
    float b_ = 0.0f;
    float l_ = 0.0f;
    float F_ = 0.0f;
    float q_ = 2.0f;
    float M_ = 0.0f;
    const float* cutoff_ = nullptr;
    const float* limit_ = nullptr;
    float* signal_ptr_ = nullptr;
    float* pitch_ptr_ = nullptr;
    float* resonance_ptr_ = nullptr;
    float* low_ptr_ = nullptr;
    float* high_ptr_ = nullptr;
    float* band_ptr_ = nullptr;
    float* reject_ptr_ = nullptr;

    ULookup* cutoffTable_ = nullptr;
    ULookup* limitTable_ = nullptr;
    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
    bool lowPassOnly_ = false;
    bool highPassOnly_ = false;
    // The tables, when the shared ones could not be made (filled at open).
    std::vector<float> ownCutoff_;
    std::vector<float> ownLimit_;
    bool checkIdle_ = true;
};
