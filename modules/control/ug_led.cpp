#include "modules/control/ug_led.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/control/ug_peak_meter.h"

namespace
{
constexpr float kMaxBarFall = 0.5f;
// Peaks beyond this many volts/10 show as this much: keeps the bar finite.
constexpr float kPeakLimit = 1.0e6f;
constexpr float kDecibelFloor = -100.0f;
} // namespace

ug_led::ug_led()
{
    flags_ |= UGF_VOICE_MON_IGNORE | UGF_POLYPHONIC_AGGREGATOR;
}

void ug_led::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
                                       L"Input signal", &input_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Threshold", DR_IN, DT_FSAMPLE, L"3.333", L"100, 0, 10, 0",
                                       IO_LINEAR_INPUT, L"Voltage where light switches on", &threshold_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Appearance", DR_IN, DT_ENUM, L"0", L"LED", IO_PRIVATE,
                                       L"Not currently Used"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&value_, L"patchValue", DR_OUT, DT_FLOAT, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_FLOAT, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"Show Title On Panel", DR_IN, DT_BOOL, L"1", L"",
                                       IO_UI_COMMUNICATION | IO_PRIVATE));
}

float ug_led::BarTarget(float peak, int response)
{
    const float limited = std::isnan(peak) ? 0.0f : std::clamp(peak, -kPeakLimit, kPeakLimit);
    if (response == RESPONSE_LINEAR)
        return 2.0f * limited;
    const float decibels = 50.0f * std::log10(std::max(2.0f * limited, 1e-12f)) + 100.0f;
    return std::max(kDecibelFloor, decibels) * 0.01f;
}

void ug_led::SelectDetector()
{
    if (mode_ == MODE_PEAK_METER)
        SetProcessFunction(&ug_led::process_peak_watch);
    else
        SetProcessFunction(&ug_led::process_led);
}

void ug_led::ScheduleReport(int64_t time)
{
    if (mode_ == MODE_PEAK_METER)
        RunDelayed<&ug_led::ReportBarGraph>(time);
    else
        RunDelayed<&ug_led::ReportLed>(time);
}

void ug_led::SendValue(float value)
{
    value_ = value;
    SendPinsCurrentValue(sampleClock_, plugs_[PN_PATCH_VALUE]);
}

int ug_led::Open()
{
    const int result = ug_base::Open();
    SelectDetector();
    // A zero or odd sample rate must still give a report period of at least one sample.
    reportPeriod_ = std::max(1, static_cast<int>(SampleRate()) / kReportsPerSecond);
    lastShown_ = -1.0f;
    barSent_ = false;
    ScheduleReport(sampleClock_);
    timerRunning_ = true;
    return result;
}

void ug_led::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    Wake();
    // A new threshold or response changes the display as much as a new signal does.
    const bool measured = pin->index_ == PN_SIGNAL || pin->index_ == PN_THRESHOLD;
    if (!measured || state == ST_STOPPED)
        return;
    SelectDetector();
    if (!timerRunning_)
    {
        level_ = 0.0f;
        timerRunning_ = true;
        ScheduleReport(sampleClock_ + reportPeriod_);
    }
    idle_ = false;
}

void ug_led::process_led(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float* threshold = threshold_ptr_ + start;
    const float* end = in + count;
    const float* crossing = in;
    while (crossing != end && !(*crossing > *threshold))
    {
        ++crossing;
        ++threshold;
    }
    if (crossing == end)
        return;

    level_ = kLampOn;
    // One crossing per period is enough: stop scanning until the next report.
    SetProcessFunction(&ug_base::process_nothing);
    if (!(lastShown_ == kLampOn))
    {
        lastShown_ = kLampOn;
        SendValue(kLampOn * 10.0f);
    }
}

void ug_led::ReportLed()
{
    if (!(lastShown_ == level_))
    {
        lastShown_ = level_;
        SendValue(level_ * 10.0f);
    }
    if (idle_)
    {
        timerRunning_ = false;
        SetProcessFunction(&ug_base::process_sleep);
    }
    else
    {
        level_ = 0.0f;
        SetProcessFunction(&ug_led::process_led);
        ScheduleReport(sampleClock_ + reportPeriod_);
    }
    if (!SignalStreaming())
        idle_ = true;
}

void ug_led::process_peak_watch(int start, int count)
{
    const float* in = input_ptr_ + start;
    float level = level_;
    for (int i = 0; i < count; ++i)
        level = in[i] > level ? in[i] : level;
    level_ = level;
}

void ug_led::ReportBarGraph()
{
    const float target = BarTarget(level_, response_);
    const float step = std::max(-kMaxBarFall, target - lastShown_);
    // Only a moved bar is sent, and the first report after Open, so the editor starts in step.
    if (step != 0.0f || !barSent_)
    {
        lastShown_ += step;
        barSent_ = true;
        SendValue(lastShown_ * 10.0f);
    }

    float present = plugs_[PN_SIGNAL]->getValue();
    if (!std::isfinite(present))
        present = 0.0f;
    if (step == 0.0f && level_ == present && !SignalStreaming())
    {
        timerRunning_ = false;
        SetProcessFunction(&ug_base::process_sleep);
        return;
    }
    ScheduleReport(sampleClock_ + reportPeriod_);
    level_ = present;
}

namespace
{
[[maybe_unused]] const bool registered =
    CModuleFactory::Instance()->RegisterModule(new Module_Info(L"Peak Meter", 460, 32829, nullptr,
                                                               &UnitClassOf<ug_peak_meter>::value, 384)) &&
    CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"LED Indicator", 449, 32829, nullptr, &UnitClassOf<ug_led>::value, 384));
}
