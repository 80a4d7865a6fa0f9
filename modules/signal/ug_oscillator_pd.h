#pragma once
// Phase distortion oscillator ("Phase Dist Osc"): reads one cosine cycle
// through a phase bent by a piecewise-linear breakpoint curve per waveform,
// the depth input moving the breakpoints. Two waveform selectors alternate
// cycle by cycle; three resonant shapes multiply the phase instead and shape
// the result with a breakpoint window. A slow tracker removes the DC level.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/runtime/SharedOscWaveTable.h"
#include "engine/graph/ug_base.h"

class ug_oscillator_pd : public ug_base
{
public:
    enum Pins
    {
        PN_PITCH = 0,
        PN_DEPTH = 1,
        PN_AUDIO_OUT = 2,
        PN_WAVE1 = 3,
        PN_WAVE2 = 4,
        PN_FREQ_SCALE = 5,
    };
    enum Wave
    {
        WV_NONE = -1,
        WV_SAW = 0,
        WV_SQUARE = 1,
        WV_PULSE = 2,
        WV_DBL_SINE = 3,
        WV_SAW_PULSE = 4,
        WV_RESO1 = 5,
        WV_RESO2 = 6,
        WV_RESO3 = 7,
        WV_COUNT = 8,
    };
    enum FreqScale
    {
        FS_VOLT_PER_OCTAVE = 0,
        FS_VOLT_PER_KHZ = 1,
    };
    static constexpr float kMaxDepth = 0.97f;
    static constexpr int kMaxBreakpoints = 18;
    static constexpr int kMaxSlots = 2;

    // One breakpoint as stored for playing: position x moved by depth × dz,
    // target phase y, window w. Normal shapes have window 1; resonant ones
    // have dz 0 and their depth weight as the window.
    struct Point
    {
        float x;
        float y;
        float dz;
        float w;
    };
    struct Slot
    {
        int first;
        int last;             // index of the slot's final breakpoint
        float phaseMultiply;  // 1 for resonant shapes: q = p × (1 + 10 d)
    };

    ug_oscillator_pd();
    ~ug_oscillator_pd() override = default;

    ug_base* Create() override { return new ug_oscillator_pd(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void FillSegmentTable();
    // Phase increment (2^32 = one cycle per sample) of a pitch value.
    static uint32_t PitchToIncrement(float pitch, int freqScale, float sampleRate);
    static float TrackingCoefficient(float sampleRate);

    void sub_process_fp(int start, int count);
    void sub_process(int start, int count) { ProcessStreaming<false>(start, count); }
    void sub_process_khz(int start, int count) { ProcessStreaming<true>(start, count); }
    void sub_process_overload(int start, int count);
    void sub_process_overload_pitch(int start, int count);

    uint32_t Increment() const { return increment_; }
    uint32_t UpperBound() const { return upperBound_; }
    bool Overloaded() const { return overload_; }
    int SlotCount() const { return slotCount_; }

private:
    template <bool PerKilohertz>
    void ProcessStreaming(int start, int count);
    // One output sample at the current phase; advances the phase.
    float Step(float depth);
    void UpdateOverload();
    void ChooseProcessFunction();
    void EnterSlot(int slot);

    std::vector<SharedOscWaveTable> cosineSet_;
    const float* cosine_ = nullptr;
    uint32_t upperBound_ = 0;
    uint32_t phase_ = 0;
    uint32_t increment_ = 0;
    std::array<Point, kMaxBreakpoints> points_{};
    std::array<Slot, kMaxSlots> slots_{};
    int slotCount_ = 0;
    int slot_ = 0;
    int point_ = 0;
    float dcLevel_ = 0.0f;
    float tracking_ = 0.0f;
    bool overload_ = false;

    float* pitch_ptr_ = nullptr;
    float* depth_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    int16_t wave1_ = WV_SAW;
    int16_t wave2_ = WV_SAW;
    int16_t freqScale_ = FS_VOLT_PER_OCTAVE;
};
