#include "modules/control/ug_volts_to_float.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/CModuleFactory.h"
#include "core/EPlugDataType.h"
#include "core/EPlugFlags.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/pin_description.h"
#include "modules/control/ug_volts_to_float2.h"

namespace
{
constexpr float kSilence = 1e-8f;
constexpr double kMeanSquareCutoff = 628.31854; // 2 pi 100 Hz
} // namespace

ug_volts_to_float::ug_volts_to_float()
{
    flags_ |= UGF_VOICE_MON_IGNORE | UGF_POLYPHONIC_AGGREGATOR;
}

void ug_volts_to_float::assignPlugVariable(int pinId, UPlug* pin)
{
    switch (pinId)
    {
    case PN_VOLTS_IN:
        pin->moduleBuffer_ = &input_ptr_;
        break;
    case PN_RESPONSE:
        pin->variable_ = &response_;
        break;
    case PN_UPDATE_RATE:
        pin->variable_ = &updateRate_;
        break;
    case PN_FLOAT_OUT:
        pin->variable_ = &floatOut_;
        break;
    default:
        break;
    }
}

float ug_volts_to_float::Coefficient(float seconds, float sampleRate)
{
    if (seconds <= 0.0f || sampleRate <= 0.0f)
        return 0.0f;
    return static_cast<float>(std::exp(-1.0 / (static_cast<double>(seconds) * sampleRate)));
}

int32_t ug_volts_to_float::ReportPeriod(int updateRate, float sampleRate)
{
    // A rate of 0 or below would never (or instantly) report again: 1 Hz instead.
    const double rate = updateRate > 0 ? updateRate : 1;
    const double period = static_cast<double>(sampleRate) / (rate + 0.03);
    if (!(period >= 1.0))
        return 1;
    return static_cast<int32_t>(std::min(period, static_cast<double>(std::numeric_limits<int32_t>::max() / 2)));
}

float ug_volts_to_float::Reading(int response, float x)
{
    switch (response)
    {
    case R_DB_VU:
    case R_DB_PPM:
        return (x < kSilence ? -160.0f : 20.0f * std::log10(x)) + 3.0f;
    case R_DB_PEAK:
        return x < kSilence ? -160.0f : 20.0f * std::log10(x);
    case R_DB_HEADROOM:
        return -(x < kSilence ? -160.0f : 20.0f * std::log10(x));
    default:
        return x * 10.0f;
    }
}

void ug_volts_to_float::SetBallistics()
{
    const float sr = SampleRate();
    attack_ = release_ = 0.0f;
    switch (response_)
    {
    case R_DB_VU:
    case R_VOLTS_RMS:
        attack_ = release_ = Coefficient(0.1f, sr);
        detector_ = static_cast<process_func_ptr>(&ug_volts_to_float::process_rms);
        break;
    case R_DB_PPM:
        attack_ = Coefficient(0.017f, sr);
        release_ = Coefficient(0.65f, sr);
        detector_ = static_cast<process_func_ptr>(&ug_volts_to_float::process_rms);
        break;
    case R_DB_PEAK:
    case R_DB_HEADROOM:
        release_ = Coefficient(0.03f, sr);
        detector_ = static_cast<process_func_ptr>(&ug_volts_to_float::process_peak);
        break;
    case R_VOLTS_DC_AVERAGE:
        release_ = Coefficient(0.1f, sr);
        detector_ = static_cast<process_func_ptr>(&ug_volts_to_float::process_dc);
        break;
    case R_CLIP_DETECT:
        detector_ = static_cast<process_func_ptr>(&ug_volts_to_float::process_clip);
        break;
    default:
        detector_ = static_cast<process_func_ptr>(&ug_base::process_nothing);
        break;
    }
}

void ug_volts_to_float::ScheduleReport(int64_t time)
{
    RunDelayed<&ug_volts_to_float::Report>(time);
}

int ug_volts_to_float::Open()
{
    const int result = ug_base::Open();
    SetBallistics();
    reportPeriod_ = ReportPeriod(updateRate_, SampleRate());
    lastSent_ = -1000.0f;
    meanSquareCoefficient_ = static_cast<float>(std::exp(-kMeanSquareCutoff / std::max(1.0f, SampleRate())));
    timerRunning_ = true;
    ScheduleReport(sampleClock_);
    SetProcessFunction(detector_);
    return result;
}

void ug_volts_to_float::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    Wake();
    switch (pin->index_)
    {
    case PN_RESPONSE:
        SetBallistics();
        if (timerRunning_)
            SetProcessFunction(detector_);
        break;
    case PN_UPDATE_RATE:
        reportPeriod_ = ReportPeriod(updateRate_, SampleRate());
        break;
    case PN_VOLTS_IN:
        if (state == ST_STATIC || state == ST_STREAMING)
        {
            SetProcessFunction(detector_);
            if (!timerRunning_)
            {
                timerRunning_ = true;
                ScheduleReport(sampleClock_ + reportPeriod_);
            }
            idle_ = false;
        }
        break;
    default:
        break;
    }
}

void ug_volts_to_float::Report()
{
    if (!(envelope_ < kRunaway))
        envelope_ = 0.0f;
    if (!(meanSquare_ < kRunaway))
        meanSquare_ = 0.0f;

    float x = envelope_;
    if (response_ == R_VOLTS_DC_FAST)
    {
        // The raw input is untrusted: NaN reads 0, extremes are held to the runaway limit.
        x = plugs_[PN_VOLTS_IN]->getValue();
        x = std::isnan(x) ? 0.0f : std::clamp(x, -kRunaway, kRunaway);
    }
    if (!(std::fabs(lastSent_ - x) < kSilence))
    {
        idle_ = false;
        lastSent_ = x;
        floatOut_ = Reading(response_, x);
        SendPinsCurrentValue(sampleClock_, plugs_[PN_FLOAT_OUT]);
    }
    if (response_ == R_CLIP_DETECT)
        envelope_ = 0.0f;

    if (idle_)
    {
        timerRunning_ = false;
        SetProcessFunction(&ug_base::process_sleep);
    }
    else
    {
        SetProcessFunction(detector_);
        ScheduleReport(sampleClock_ + reportPeriod_);
    }
    if (plugs_[PN_VOLTS_IN]->state_ != ST_STREAMING)
        idle_ = true;
}

void ug_volts_to_float::process_rms(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float c = meanSquareCoefficient_;
    float ms = meanSquare_;
    float env = envelope_;
    for (int i = 0; i < count; ++i)
    {
        const float x2 = in[i] * in[i];
        ms = (ms - x2) * c + x2;
        const float r = std::sqrt(ms);
        const float k = env < r ? attack_ : release_;
        env = (env - r) * k + r;
    }
    meanSquare_ = ms;
    envelope_ = env;
}

void ug_volts_to_float::process_peak(int start, int count)
{
    const float* in = input_ptr_ + start;
    float env = envelope_;
    for (int i = 0; i < count; ++i)
    {
        const float a = std::fabs(in[i]);
        const float k = env < a ? attack_ : release_;
        env = (env - a) * k + a;
    }
    envelope_ = env;
}

void ug_volts_to_float::process_dc(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float k = release_;
    float env = envelope_;
    for (int i = 0; i < count; ++i)
        env = (env - in[i]) * k + in[i];
    envelope_ = env;
}

void ug_volts_to_float::process_clip(int start, int count)
{
    const float* in = input_ptr_ + start;
    for (int i = 0; i < count; ++i)
    {
        if (in[i] >= 1.0f || in[i] <= -1.0f)
            envelope_ = 1.0f;
    }
}

namespace
{
const pin_description kPins[] = {
    {L"Volts In", DR_IN, DT_FSAMPLE, L"", L"", IO_LINEAR_INPUT, L""},
    {L"Response", DR_IN, DT_ENUM, L"4",
     L"dB VU,dB PPM,dB Peak,dB HeadRoom, Volts DC (Fast), Volts DC Average, Volts RMS, Clip Detect", 0, L""},
    {L"Update Rate", DR_IN, DT_ENUM, L"10", L"1 Hz=1,5 Hz=5,10 Hz=10,20 Hz=20,40 Hz=40", 0, L""},
    {L"Float Out", DR_OUT, DT_FLOAT, L"", L"", 0, L""},
};
const module_description_dsp kVoltsToFloat = {
    "VoltsToFloat", 142, 144, &UnitClassOf<ug_volts_to_float>::value, 256, kPins, 4,
};
const module_description_dsp kVoltsToFloat2 = {
    "VoltsToFloat2", 156, 299, &UnitClassOf<ug_volts_to_float2>::value, 256, kPins, 4,
};
bool RegisterBoth()
{
    const bool first = CModuleFactory::Instance()->RegisterModule(kVoltsToFloat);
    const bool second = CModuleFactory::Instance()->RegisterModule(kVoltsToFloat2);
    return first && second;
}
[[maybe_unused]] const bool registered = RegisterBoth();
} // namespace
