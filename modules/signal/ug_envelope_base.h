#pragma once
// Gated multi-segment envelope: the level ramps linearly from segment to
// segment at rates set by voltages with an exponential time law; one segment
// holds while the gate is high, and the gate falling jumps to the last
// segment, which falls to 0. The output is the level times "Overall Level".
// Specialised segment routines are chosen by which inputs stream.

#include <cstdint>

#include "modules/signal/ug_control.h"

class ug_envelope_base : public ug_control
{
public:
    static constexpr int kMaxSegments = 8;
    // Renders part of a segment; returns the samples written.
    using segment_func = int (ug_envelope_base::*)(int start, int count);

    ug_envelope_base();
    ~ug_envelope_base() override = default;

    void Resume(int64_t time) override;
    int Open() override;
    virtual void ChooseSubProcess() = 0;
    virtual void next_segment();

    // Seconds for a full-scale (10 V) change at a rate input value (1.0 = 10 V).
    static float SegmentTime(float rateValue);
    // Level change per sample for a rate input value.
    float RatePerSample(float rateValue) const;

    void OnGateChange(float gate);
    void VoiceReset();

    // Process functions.
    void sub_process(int start, int count);
    void process_with_gate(int start, int count);

    // Segment routines.
    int sub_process3(int start, int count);
    int sub_process4(int start, int count);
    int sub_process5(int start, int count);
    int sub_process5b(int start, int count);
    int sub_process6(int start, int count);
    int sub_process7(int start, int count);
    int sub_process8(int start, int count);
    int sub_process9(int start, int count);

    int16_t CurrentSegment() const { return currentSegment_; }
    float Level() const { return level_; }
    float Rate() const { return rate_; }

protected:
    template <class T>
    void SetSegmentRoutine(int (T::*routine)(int, int))
    {
        segmentRoutine_ = static_cast<segment_func>(routine);
    }
    bool IsStreaming(const UPlug* pin) const { return pin && pin->state_ == ST_STREAMING; }
    // Target level of a static level input, kept finite.
    static float SafeLevel(float value);
    void Announce(state_type state);
    void RenderSegments(int start, int count);
    float RampLevel() const { return rampStartLevel_ + rate_ * static_cast<float>(rampLength_ - samplesLeft_); }

    int16_t sustainSegment_ = 0;
    int16_t lastSegment_ = 0;
    int16_t currentSegment_ = 7;
    int32_t samplesLeft_ = 0;
    float rate_ = 0.0f;
    float level_ = 0.0f;
    // Where a ramp of whole samples (sub_process6) started: its level after
    // k samples is worked out from here, the same however its run was cut.
    float rampStartLevel_ = 0.0f;
    int32_t rampLength_ = 0;
    float scaledRate_ = 0.0f;
    float scaledLevel_ = 0.0f;
    int32_t outputPinIndex_ = -1;
    int32_t gatePinIndex_ = -1;
    int32_t overallPinIndex_ = -1;
    segment_func segmentRoutine_;
    bool gateHigh_ = false;
    float overallLevel_ = 0.0f;
    float target_ = 0.0f;
    bool released_ = true;
    float* output_ptr_ = nullptr;
    float* overall_ptr_ = nullptr;
    float* gate_ptr_ = nullptr;
    float fixedLevels_[kMaxSegments] = {};
    UPlug* ratePins_[kMaxSegments] = {};
    UPlug* levelPins_[kMaxSegments] = {};
    // Sample buffers of the rate and level pins, found at Open.
    const float* rateBuffers_[kMaxSegments] = {};
    const float* levelBuffers_[kMaxSegments] = {};

    // sub_process as the process function, with its copies function.
    void UseSubProcess() { SetProcessFunction(&ug_envelope_base::sub_process, &ug_envelope_base::RunRow); }

private:
    // A plain ramp (sub_process6) that lasts the whole piece and has no event in it.
    bool RampsThrough(int64_t end, int sampleFrames) const;
    static void RampTogether(ug_envelope_base* const* batch, int count, int start, int frames);
    // The copies function of sub_process: runs this envelope's piece and, in
    // the same loop, those of the envelopes after it in the list, when all
    // ramp through the whole piece with no event, so that their one-sample
    // steps overlap.
    static EventProcessor* RunRow(EventProcessor* first, int blockPosition, int sampleFrames);
    // The state after a ramp of n samples ending at `scaled`, as sub_process6 leaves it.
    static void EndPiece(ug_envelope_base* e, float scaled, float* out, int n);
};
