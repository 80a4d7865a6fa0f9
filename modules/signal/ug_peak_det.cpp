#include "modules/signal/ug_peak_det.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_peak_det::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Input signal", &signal_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Attack", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Rate at which current_level rises to track input level", &attack_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Decay", DR_IN, DT_FSAMPLE, L"7", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Rate at which current_level falls to track input level", &decay_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0,
                                       L"current_level Signal", &output_ptr_));
}

double ug_peak_det::Coefficient(float t, float sampleRate)
{
    return std::exp(-100.0 / (static_cast<double>(sampleRate) * static_cast<double>(LimitTime(t))));
}

int ug_peak_det::Open()
{
    const int result = ug_base::Open();
    // Usable coefficients even before the first pin event.
    attack_ = Coefficient(plugs_[PN_ATTACK]->getValue(), SampleRate());
    decay_ = Coefficient(plugs_[PN_DECAY]->getValue(), SampleRate());
    return result;
}

void ug_peak_det::onSetPin(int64_t time, UPlug* pin, state_type /*state*/)
{
    if (pin->index_ == PN_ATTACK)
        attack_ = Coefficient(pin->getValue(), SampleRate());
    else if (pin->index_ == PN_DECAY)
        decay_ = Coefficient(pin->getValue(), SampleRate());

    if (plugs_[PN_ATTACK]->state_ != ST_STREAMING && plugs_[PN_DECAY]->state_ != ST_STREAMING)
    {
        ResetStaticOutput();
        if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
            SetProcessFunction(&ug_peak_det::sub_process_settling);
        else
            SetProcessFunction(&ug_peak_det::sub_process);
    }
    else
    {
        SetProcessFunction(&ug_peak_det::sub_process_all_run);
    }
    plugs_[PN_OUTPUT]->TransmitState(time, ST_STREAMING);
}

void ug_peak_det::sub_process(int start, int count)
{
    const float* in = signal_ptr_ + start;
    float* out = output_ptr_ + start;
    double level = level_;
    for (int i = 0; i < count; ++i)
    {
        const double x = Magnitude(in[i]);
        level = (level - x) * (x > level ? attack_ : decay_) + x;
        out[i] = static_cast<float>(level);
    }
    level_ = level;
}

void ug_peak_det::sub_process_all_run(int start, int count)
{
    const float* in = signal_ptr_ + start;
    const float* attackTime = attack_ptr_ + start;
    const float* decayTime = decay_ptr_ + start;
    float* out = output_ptr_ + start;
    const float exponent = -100.0f / SampleRate();
    double level = level_;
    for (int i = 0; i < count; ++i)
    {
        const double x = Magnitude(in[i]);
        const float t = x > level ? attackTime[i] : decayTime[i];
        const double c = std::exp(static_cast<double>(exponent / LimitTime(t)));
        level = (level - x) * c + x;
        out[i] = static_cast<float>(level);
    }
    level_ = level;
}

void ug_peak_det::sub_process_settling(int start, int count)
{
    const double x = Magnitude(signal_ptr_[start]);
    float* out = output_ptr_ + start;
    double level = level_;
    for (int i = 0; i < count; ++i)
    {
        level = (level - x) * (x > level ? attack_ : decay_) + x;
        out[i] = static_cast<float>(level);
    }
    level_ = level;
    if (std::fabs(level - x) < kSettleTolerance)
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_peak_det::process_static);
    }
}

void ug_peak_det::process_static(int start, int count)
{
    const float x = Magnitude(signal_ptr_[start]);
    std::fill(output_ptr_ + start, output_ptr_ + start + count, x);
    level_ = x;
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_ + count, ST_STOPPED);
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Peak Follower", 441, 303, nullptr, &UnitClassOf<ug_peak_det>::value, 256));
}
