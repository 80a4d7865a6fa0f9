#include "modules/signal/ug_delay.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "modules/signal/ug_delay2.h"

namespace
{
// Host sample rates beyond this are not real; it keeps the ring size an int.
constexpr float kMaxSampleRate = 1.0e6f;

float BoundSample(float v)
{
    // NaN fails every comparison: it becomes silence.
    if (!(v == v))
        return 0.0f;
    return std::clamp(v, -ug_delay::kMaxSample, ug_delay::kMaxSample);
}

int32_t MaxDelayLength(float sampleRate)
{
    const float rate = std::clamp(sampleRate, 1.0f, kMaxSampleRate);
    return static_cast<int32_t>(rate) * 10;
}
} // namespace

ug_delay::ug_delay() : ug_delay(0.5f)
{
}

ug_delay::ug_delay(float modulationOffset) : c_(modulationOffset)
{
}

void ug_delay::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListPins(pins, L"5", L"5,-5,5,-5", L"Varies the delay time dynamically ( -5V to +5V )", L"0.25");
}

void ug_delay::ListPins(std::vector<InterfaceObject*>& pins, const wchar_t* modulationDefault,
                        const wchar_t* modulationRange, const wchar_t* modulationHelp, const wchar_t* timeDefault)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal In", DR_IN, DT_FSAMPLE, L"", L"", IO_LINEAR_INPUT, L"",
                                       &signalIn_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Modulation", DR_IN, DT_FSAMPLE, modulationDefault, modulationRange,
                                       IO_POLYPHONIC_ACTIVE, modulationHelp, &modulation_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &signalOut_ptr_));
    pins.push_back(new InterfaceObject(&delayTime_, L"Delay Time (secs)", DR_IN, DT_FLOAT, timeDefault, L"",
                                       IO_MINIMISED, L"Max delay time in Seconds. Limited to maximum 10s."));
    pins.push_back(new InterfaceObject(&interpolate_, L"Interpolate Output", DR_IN, DT_BOOL, L"0", L"", IO_MINIMISED,
                                       L"Provides smoother modulation of delay time, but increases CPU load"));
    pins.push_back(new InterfaceObject(nullptr, L"Feedback", DR_IN, DT_FSAMPLE, L"0", L"10,0,10,0",
                                       IO_POLYPHONIC_ACTIVE, L"", &feedback_ptr_));
}

int32_t ug_delay::DelayLength(float seconds, float sampleRate)
{
    const int32_t longest = MaxDelayLength(sampleRate);
    const float samples = std::clamp(sampleRate, 1.0f, kMaxSampleRate) * seconds;
    // Zero, negative, sub-sample and NaN times give the shortest line.
    if (!(samples >= 1.0f))
        return 1;
    if (samples > static_cast<float>(longest))
        return longest;
    return std::min(static_cast<int32_t>(samples), longest);
}

int ug_delay::Open()
{
    const int result = ug_base::Open();
    plugs_[PN_SIGNAL_OUT]->TransmitState(sampleClock_, ST_STREAMING);
    if (buffer_.empty())
    {
        buffer_.assign(static_cast<size_t>(MaxDelayLength(SampleRate())) + 2, 0.0f);
        CreateBuffer();
    }
    staticOutputCountdown_ = RunOutLength();
    ChooseProcessFunction();
    return result;
}

void ug_delay::CreateBuffer()
{
    if (buffer_.empty())
        return;
    delayLength_ = std::min(DelayLength(delayTime_, SampleRate()), static_cast<int32_t>(buffer_.size()) - 2);
    ringLength_ = delayLength_ + 1;
    std::fill(buffer_.begin(), buffer_.begin() + ringLength_ + 1, 0.0f);
    writeIndex_ = 0;
    lastOutput_ = 0.0f;
    // A quiet line must now run out over its new length.
    staticOutputCountdown_ = RunOutLength();
}

int32_t ug_delay::RunOutLength() const
{
    // At least one block, so that a sleeping output block holds only zeros.
    const int32_t block = audioMaster_ ? audioMaster_->BlockSize() : 0;
    return std::max(delayLength_, block);
}

void ug_delay::onSetPin(int64_t time, UPlug* pin, state_type /*state*/)
{
    if (pin->index_ == PN_DELAY_TIME)
    {
        CreateBuffer();
        return;
    }
    if (pin->index_ == PN_SIGNAL_IN)
    {
        staticOutputCountdown_ = RunOutLength();
        plugs_[PN_SIGNAL_OUT]->TransmitState(time, ST_STREAMING);
    }
    ChooseProcessFunction();
}

void ug_delay::ChooseProcessFunction()
{
    using Fn = void (ug_delay::*)(int, int);
    // [modulation streaming][interpolate][feedback streaming]
    static constexpr Fn kFunctions[2][2][2] = {
        {{&ug_delay::subProcess<PolicyModulationFixed, PolicyInterpolationNone, PolicyFeedbackFixed>,
          &ug_delay::subProcess<PolicyModulationFixed, PolicyInterpolationNone, PolicyFeedbackModulated>},
         {&ug_delay::subProcess<PolicyModulationFixed, PolicyInterpolationLinear, PolicyFeedbackFixed>,
          &ug_delay::subProcess<PolicyModulationFixed, PolicyInterpolationLinear, PolicyFeedbackModulated>}},
        {{&ug_delay::subProcess<PolicyModulationDigitalChanging, PolicyInterpolationNone, PolicyFeedbackFixed>,
          &ug_delay::subProcess<PolicyModulationDigitalChanging, PolicyInterpolationNone, PolicyFeedbackModulated>},
         {&ug_delay::subProcess<PolicyModulationDigitalChanging, PolicyInterpolationLinear, PolicyFeedbackFixed>,
          &ug_delay::subProcess<PolicyModulationDigitalChanging, PolicyInterpolationLinear,
                                PolicyFeedbackModulated>}}};

    const bool modulating = plugs_[PN_MODULATION]->state_ == ST_STREAMING;
    const bool feedbackStreaming = plugs_[PN_FEEDBACK]->state_ == ST_STREAMING;
    const Fn chosen = kFunctions[modulating ? 1 : 0][interpolate_ ? 1 : 0][feedbackStreaming ? 1 : 0];

    if (plugs_[PN_SIGNAL_IN]->state_ == ST_STREAMING)
    {
        SetProcessFunction(chosen);
        return;
    }
    savedProcess_ = static_cast<process_func_ptr>(chosen);
    SetProcessFunction(&ug_delay::sub_process_static);
}

template <class Modulation, class Interpolation, class Feedback>
void ug_delay::subProcess(int start, int count)
{
    const float* in = signalIn_ptr_ + start;
    const float* modulation = modulation_ptr_ + start;
    const float* feedback = feedback_ptr_ + start;
    float* out = signalOut_ptr_ + start;
    float* ring = buffer_.data();
    const int32_t ringLength = ringLength_;
    const float length = static_cast<float>(delayLength_);
    const float headroom = static_cast<float>(ringLength_ - delayLength_);
    const float ringLengthF = static_cast<float>(ringLength_);

    int32_t offset = 1;
    float fraction = 0.0f;
    // Compared as floats before any conversion: NaN and huge positions stay in the ring.
    auto readPosition = [&](float m) {
        const float d = (c_ - m) * length + headroom;
        if (!(d >= 1.0f))
        {
            offset = 1;
            fraction = 0.0f;
        }
        else if (d >= ringLengthF)
        {
            offset = ringLength;
            fraction = 0.0f;
        }
        else
        {
            offset = static_cast<int32_t>(d);
            fraction = d - static_cast<float>(offset);
        }
    };

    readPosition(modulation[0]);
    float gain = feedback[0];
    int32_t w = writeIndex_;
    float y = lastOutput_;
    for (int i = 0; i < count; ++i)
    {
        if constexpr (Modulation::kPerSample)
            readPosition(modulation[i]);
        if constexpr (Feedback::kPerSample)
            gain = feedback[i];

        const float v = BoundSample(y * gain + in[i]);
        ring[w] = v;
        if (w == 0)
            ring[ringLength] = v;

        int32_t r = w + offset;
        if (r >= ringLength)
            r -= ringLength;
        if constexpr (Interpolation::kInterpolate)
            y = ring[r] + fraction * (ring[r + 1] - ring[r]);
        else
            y = ring[r];
        out[i] = y;

        if (++w == ringLength)
            w = 0;
    }
    writeIndex_ = w;
    lastOutput_ = y;
}

void ug_delay::sub_process_static(int start, int count)
{
    (this->*savedProcess_)(start, count);
    const float* out = signalOut_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        // A NaN is not zero either.
        if (!(out[i] == 0.0f))
        {
            staticOutputCountdown_ = RunOutLength();
            return;
        }
    }
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[PN_SIGNAL_OUT]->TransmitState(sampleClock_ + count, ST_STATIC);
    }
}

namespace
{
bool RegisterDelays()
{
    CModuleFactory* factory = CModuleFactory::Instance();
    factory->RegisterModule(new Module_Info(L"Delay", 417, 32829, nullptr, &UnitClassOf<ug_delay>::value, 256));
    factory->RegisterModule(new Module_Info(L"Delay2", 517, 317, nullptr, &UnitClassOf<ug_delay2>::value, 256));
    return true;
}

[[maybe_unused]] const bool registered = RegisterDelays();
} // namespace
