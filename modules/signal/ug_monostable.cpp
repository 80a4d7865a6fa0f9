#include "modules/signal/ug_monostable.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "modules/signal/logic_levels.h"

ug_monostable::ug_monostable()
{
    SetProcessFunction(&ug_monostable::sub_process);
}

void ug_monostable::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE, L"",
                                       &input_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Pulse Length", DR_IN, DT_FSAMPLE, L"0.1", L"", IO_POLYPHONIC_ACTIVE,
                                       L"10 Volt = 1 Second"));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
}

int ug_monostable::Open()
{
    SetProcessFunction(&ug_monostable::sub_process);
    RunDelayed<&ug_monostable::OnFirstSample>(sampleClock_);
    return ug_base::Open();
}

void ug_monostable::OnFirstSample()
{
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STATIC);
}

void ug_monostable::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    if (pin->index_ != PN_INPUT)
        return;
    inputState_ = state;
    if (state != ST_STREAMING)
        input_changed();
    else
        SetProcessFunction(&ug_monostable::sub_process);
}

int32_t ug_monostable::PulseSamples(float pulseLength, float sampleRate)
{
    const double samples = static_cast<double>(sampleRate) * static_cast<double>(pulseLength);
    // NaN, zero and negative lengths give the shortest pulse.
    if (!(samples >= 1.0))
        return 1;
    if (samples >= static_cast<double>(kMaxPulseSamples))
        return kMaxPulseSamples;
    return static_cast<int32_t>(samples);
}

void ug_monostable::input_changed()
{
    OnInput(plugs_[PN_INPUT]->getValue());
}

void ug_monostable::OnInput(float value)
{
    if (level_)
    {
        if (value < logic_levels::kLowThreshold)
            level_ = false;
        return;
    }
    if (!(value > logic_levels::kHighThreshold))
        return;
    level_ = true;
    if (outputValue_ != logic_levels::kLow)
        return;

    const int64_t now = sampleClock_;
    outputValue_ = logic_levels::kHigh;
    SetProcessFunction(&ug_monostable::sub_process);
    ResetStaticOutput();
    plugs_[PN_OUTPUT]->TransmitState(now, ST_STATIC);

    const int32_t length = PulseSamples(plugs_[PN_PULSE_LENGTH]->getValue(), SampleRate());
    pulseEnd_ = now + length;
    // A pulse that may outlast the module's wakefulness ends by a delayed call.
    if (audioMaster_ && length >= audioMaster_->BlockSize())
        RunDelayed<&ug_monostable::OnPulseEndDue>(pulseEnd_);
}

void ug_monostable::OnPulseEndDue()
{
    if (pulseEnd_ != kNoPulse && sampleClock_ >= pulseEnd_)
        pulse_end();
}

void ug_monostable::pulse_end()
{
    pulseEnd_ = kNoPulse;
    outputValue_ = logic_levels::kLow;
    SetProcessFunction(&ug_monostable::sub_process);
    ResetStaticOutput();
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STATIC);
}

void ug_monostable::sub_process(int start, int count)
{
    const int64_t clock = sampleClock_;
    const float* in = input_ptr_;
    float* out = output_ptr_;
    const int end = start + count;
    int pos = start;
    while (pos < end)
    {
        if (sampleClock_ >= pulseEnd_)
            pulse_end();

        int stop = end;
        if (pulseEnd_ != kNoPulse)
            stop = static_cast<int>(std::min<int64_t>(end, pos + (pulseEnd_ - sampleClock_)));

        // Copy the held value up to the sample where the input crosses.
        int i = pos;
        const float value = outputValue_;
        if (level_)
        {
            while (i < stop && !(in[i] < logic_levels::kLowThreshold))
                out[i++] = value;
        }
        else
        {
            while (i < stop && !(in[i] > logic_levels::kHighThreshold))
                out[i++] = value;
        }

        const int written = i - pos;
        sampleClock_ += written;
        if (inputState_ != ST_STREAMING)
        {
            staticOutputCountdown_ -= written;
            if (staticOutputCountdown_ <= 0)
                SetProcessFunction(&ug_base::process_sleep);
        }
        pos = i;
        if (i < stop)
            OnInput(in[i]);
    }
    sampleClock_ = clock;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Monostable", 489, 325, nullptr, &UnitClassOf<ug_monostable>::value, 256));
}
