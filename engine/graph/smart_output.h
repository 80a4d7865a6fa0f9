#pragma once
// A stepped audio output that glides: moves from its value to a new target
// over a number of samples along a step, a line or a cubic S-curve, writing
// the movement into the pin's block and announcing streaming while it moves
// and static at the sample where it arrives.

#include <cstdint>

class UPlug;

class smart_output
{
public:
    enum Curve : int32_t
    {
        CURVE_STEP = 0,
        CURVE_LINEAR = 1,
        CURVE_CUBIC = 2,
    };

    smart_output() = default;
    smart_output(UPlug* plug, int curve) : plug_(plug), curve_(curve) {}

    // Starts a transition to newTarget at `time`, lasting `samples` samples.
    void Set(int64_t time, float newTarget, int samples);

    // Writes a run into the buffer; true while still moving, false once the
    // target has been reached in this run.
    bool process(int blockPosition, int sampleFrames);

    float value_ = 0.0f;
    UPlug* plug_ = nullptr;
    int32_t moduleData_ = 0; // kept for the owning module
    int32_t curve_ = CURVE_LINEAR;
    int32_t staticCountdown_ = 0;
    float* buffer_ = nullptr;
    bool isStatic_ = true;
    float d1_ = 0.0f;
    float d2_ = 0.0f;
    float d3_ = 0.0f;
    float next_ = 0.0f;
    int32_t remaining_ = -1;
    float target_ = 0.0f;

private:
    void Announce(int64_t time, int state);
};
