#pragma once
// Audio delay line ("Delay") with a modulated read position and a feedback
// path. The ring is sized from "Delay Time (secs)" (at most 10 s); one of eight
// process functions is chosen from the input states, and with a quiet input
// the line runs out to silence and sleeps.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_delay : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL_IN = 0,
        PN_MODULATION = 1,
        PN_SIGNAL_OUT = 2,
        PN_DELAY_TIME = 3,
        PN_INTERPOLATE = 4,
        PN_FEEDBACK = 5,
    };
    static constexpr float kMaxDelaySeconds = 10.0f;
    // Written samples are held within +-10 kV so that runaway feedback stays finite.
    static constexpr float kMaxSample = 1000.0f;

    // Read position per sample or once per stretch.
    struct PolicyModulationDigitalChanging { static constexpr bool kPerSample = true; };
    struct PolicyModulationFixed { static constexpr bool kPerSample = false; };
    struct PolicyInterpolationLinear { static constexpr bool kInterpolate = true; };
    struct PolicyInterpolationNone { static constexpr bool kInterpolate = false; };
    struct PolicyFeedbackModulated { static constexpr bool kPerSample = true; };
    struct PolicyFeedbackFixed { static constexpr bool kPerSample = false; };

    ug_delay();
    ~ug_delay() override = default;

    ug_base* Create() override { return new ug_delay(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    // Delay length in samples for a time at a sample rate: 1 ... 10 s worth.
    static int32_t DelayLength(float seconds, float sampleRate);

    template <class Modulation, class Interpolation, class Feedback>
    void subProcess(int start, int count);
    void sub_process_static(int start, int count);

    int32_t DelayLengthSamples() const { return delayLength_; }
    int32_t RingLength() const { return ringLength_; }
    size_t BufferCapacity() const { return buffer_.size(); }

protected:
    // Pin list shared with "Delay2", which differs only in the modulation pin.
    void ListPins(std::vector<InterfaceObject*>& pins, const wchar_t* modulationDefault, const wchar_t* modulationRange,
                  const wchar_t* modulationHelp, const wchar_t* timeDefault);
    explicit ug_delay(float modulationOffset);

private:
    void CreateBuffer();
    void ChooseProcessFunction();
    int32_t RunOutLength() const;

    float delayTime_ = 0.0f;
    float c_;
    bool interpolate_ = false;
    int32_t writeIndex_ = 0;
    int32_t delayLength_ = 1;
    int32_t ringLength_ = 2;
    // Sized once at Open for the longest delay, so that a new delay time
    // never allocates on the audio thread; slot L mirrors slot 0.
    std::vector<float> buffer_;
    float* signalIn_ptr_ = nullptr;
    float* signalOut_ptr_ = nullptr;
    float* modulation_ptr_ = nullptr;
    float* feedback_ptr_ = nullptr;
    process_func_ptr savedProcess_ = nullptr;
    float lastOutput_ = 0.0f;
};
