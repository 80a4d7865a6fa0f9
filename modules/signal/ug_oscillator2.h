#pragma once
// Band-limited wave-table oscillator ("Oscillator"): sine, saw, ramp, triangle
// and pulse from shared tables made by additive synthesis, white and pink
// noise, pitch in volts per octave or per kilohertz, phase modulation and hard
// sync. Each table holds only partials below Nyquist for its pitch range; a
// change of table is hidden by a short crossfade. The phase is an unsigned
// 32-bit fixed-point number (2^32 = one cycle) that wraps by overflow.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/runtime/SharedOscWaveTable.h"
#include "engine/graph/ug_base.h"

class ULookup;

class ug_oscillator2 : public ug_base
{
public:
    enum Pins
    {
        PN_PITCH = 0,
        PN_PULSE_WIDTH = 1,
        PN_WAVEFORM = 2,
        PN_AUDIO_OUT = 3,
        PN_SYNC = 4,
        PN_PHASE_MOD = 5,
        PN_FREQ_SCALE = 6,
        PN_PM_DEPTH = 7,
        PN_SMOOTH_PEAKS = 8,
        PN_SYNC_XFADE = 9,
    };
    enum Waveform
    {
        WF_SINE = 0,
        WF_SAW = 1,
        WF_RAMP = 2,
        WF_TRIANGLE = 3,
        WF_PULSE = 4,
        WF_WHITE_NOISE = 5,
        WF_PINK_NOISE = 6,
    };
    // Waveform numbers of the table generator.
    enum osc_waveform2
    {
        OWF_SINE = 0,
        OWF_COSINE = 1,
        OWF_SAW = 2,
        OWF_TRIANGLE = 5,
    };
    static constexpr int kVoltToHzSize = 1058;
    static constexpr int kTableHeader = 3; // lower bound with hysteresis, upper bound, plain lower bound
    static constexpr int kCyclePoints = 512;
    static constexpr int kWaveCrossfade = 20;
    static constexpr int kSyncCrossfade = 4;
    static constexpr uint32_t kNoBound = 0xFFFFFFFFu;
    static constexpr int kTopVoltIndex = 1056; // +12 V in the volts-to-hertz table

    using inner_func = void (ug_oscillator2::*)(int start, int count);

    ug_oscillator2();
    ~ug_oscillator2() override = default;

    ug_base* Create() override { return new ug_oscillator2(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    // Back with its voice: the phase moves on by the samples slept.
    void Resume(int64_t time) override;

    // Shared tables; also used by the phase distortion oscillator.
    static void InitVoltToHzTable(ug_base* owner, ULookup*& table);
    // Builds or attaches a set of tables, slot 0 holding the most harmonics.
    // False when a table could not be made.
    static bool FillWaveTable(ug_base* owner, float sampleRate, std::vector<SharedOscWaveTable>& set,
                              osc_waveform2 waveform, bool smooth);
    static std::wstring WaveTableName(osc_waveform2 waveform, int slot, bool smooth);
    // Harmonic numbers held by each slot of a set (slot 0 first).
    static std::vector<std::vector<int>> SlotHarmonics(osc_waveform2 waveform);
    static uint32_t Bound(const ULookup* table, int entry);
    static const float* Samples(const ULookup* table);

    uint32_t PitchToIncrement(float pitch) const;
    // Hertz for a pitch above -10 V, read from the volts-to-hertz table.
    static float HzAtTable(const float* table, float pitch);
    static uint32_t PhaseModOffset(float phaseMod, float depth);
    static uint32_t StaticPulseOffset(float width);
    static uint32_t StreamingPulseOffset(float width);

    void OnFirstSample();
    void ChangeWaveform(int blockPos);
    void switch_wavetable(uint32_t increment, int blockPos);
    void ChooseProcessFunction(int blockPos);

    // What `count` samples asleep would have done at a steady pitch: the
    // phase moves on and the crossfades under way run their course.
    void RunAsleep(int64_t count);
    void process_wave_crossfade(int start, int count);
    void process_with_sync(int start, int count);
    void process_sync_crossfade(int start, int count);
    void process_white_noise(int start, int count);
    void process_pink_noise(int start, int count);
    void process_silence(int start, int count);

    // Table waveforms: plain (sine, saw, triangle), ramp, pulse with a fixed
    // or streaming width, by which of pitch and phase modulation stream.
    enum Shape
    {
        SH_PLAIN = 0,
        SH_RAMP = 1,
        SH_PULSE = 2,
        SH_PULSE_PW = 3,
    };
    template <int Shape, bool PitchStreams, bool PmStreams, bool PerKilohertz>
    void sub_process_table(int start, int count);

    uint32_t Phase() const { return phase_; }
    uint32_t Increment() const { return increment_; }
    const ULookup* PlayingTable() const { return playingTable_; }
    const ULookup* TargetTable() const { return targetTable_; }
    const ULookup* SilenceTable() const { return silence_.GetTable(); }
    const std::vector<SharedOscWaveTable>* CurrentSet() const { return currentSet_; }
    int WaveCrossfadeLeft() const { return waveCrossfade_; }

    // Noise generator state, shared by every oscillator of the engine and
    // by nothing outside it.
    uint32_t NoiseState() const { return noiseState_ ? static_cast<uint32_t>(*noiseState_) : 0u; }

private:
    bool PhaseModStreams() const;
    // Renders [from, to) between two sync edges.
    void RenderSyncStretch(int from, int to);
    bool BuildTables();
    float HzAt(float pitch) const { return HzAtTable(voltToHz_->GetBlock(), pitch); }

    // What a piece of a table waveform reads, in the two lines of its own
    // the block loop fetches ahead of the run.
    uint32_t phase_ = 0;
    uint32_t increment_ = 0;
    uint32_t phaseModOffset_ = 0;
    uint32_t pulseOffset_ = 0x80000000u;
    const float* samples_ = nullptr;
    float* output_ptr_ = nullptr;
    float incrementFactor_ = 0.0f;
    uint32_t lowerBound_ = kNoBound;
    uint32_t upperBound_ = kNoBound;
    float* pitch_ptr_ = nullptr;
    ULookup* voltToHz_ = nullptr;
    float* phaseMod_ptr_ = nullptr;
    float* pmDepth_ptr_ = nullptr;
    float* pulseWidth_ptr_ = nullptr;
    const ULookup* playingTable_ = nullptr;

    const ULookup* targetTable_ = nullptr;
    int32_t* noiseState_ = nullptr;
    int32_t ownNoiseState_ = 0;
    SharedOscWaveTable silence_;
    std::vector<SharedOscWaveTable> sineSet_;
    std::vector<SharedOscWaveTable> sawSet_;
    std::vector<SharedOscWaveTable> sawPlainSet_;
    std::vector<SharedOscWaveTable> triangleSet_;
    std::vector<SharedOscWaveTable>* currentSet_ = nullptr;
    int tablesRate_ = -1;
    bool tablesOk_ = false;
    uint32_t syncPhaseDifference_ = 0;
    int32_t syncCrossfade_ = 0;
    int32_t waveCrossfade_ = 0;
    // Where each crossfade's gain stands: a fade cut by a piece's end goes
    // on from there in the next.
    float syncFadeGain_ = 1.0f;
    float waveFadeGain_ = 1.0f;
    bool syncLow_ = true;
    float lastSync_ = 0.0f;
    float pink_[6] = {};
    inner_func syncInner_ = nullptr;
    inner_func waveInner_ = nullptr;
    inner_func rowFunction_ = nullptr;
    float* sync_ptr_ = nullptr;
    int16_t waveform_ = WF_SAW;
    int16_t freqScale_ = 0;
    bool smoothPeaks_ = true;
    bool syncCrossfadeOn_ = true;
};

inline float ug_oscillator2::HzAtTable(const float* t, float pitch)
{
    // Callers pass pitches above -10 V only, so x is positive.
    const float x = (pitch * 10.0f + 10.0f) * 48.0f;
    if (x < static_cast<float>(kTopVoltIndex))
    {
        const int i = static_cast<int>(x);
        return t[i] + (t[i + 1] - t[i]) * (x - static_cast<float>(i));
    }
    // Above +12 V: the last two entries, with the fraction of the unclamped index.
    float fraction = x - std::trunc(x);
    if (!(fraction >= 0.0f && fraction < 1.0f))
        fraction = 0.0f; // an infinite pitch: the top entry
    return t[kTopVoltIndex] + (t[kTopVoltIndex + 1] - t[kTopVoltIndex]) * fraction;
}
