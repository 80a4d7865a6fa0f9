#include "modules/control/ug_volt_meter.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
constexpr float kDcSmoothing = 0.95f;
constexpr float kAcScale = 0.001f;
} // namespace

ug_volt_meter::ug_volt_meter() : detector_(static_cast<process_func_ptr>(&ug_volt_meter::process_dc))
{
    flags_ |= UGF_VOICE_MON_IGNORE | UGF_POLYPHONIC_AGGREGATOR;
}

void ug_volt_meter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
                                       L"Input signal", &input_ptr_));
    pins.push_back(new InterfaceObject(&mode_, L"Mode", DR_IN, DT_ENUM, L"0", L"DC,AC RMS", IO_MINIMISED,
                                       L"Choose between DC Average Voltage, or AC RMS Voltage Readout"));
    pins.push_back(new InterfaceObject(&updateRate_, L"Update Rate", DR_IN, DT_ENUM, L"2", L"Regular=2, Fast=5",
                                       IO_MINIMISED, L"Chooses how often the display is updated"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&value_, L"patchValue", DR_OUT, DT_FLOAT, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_FLOAT, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE | IO_IGNORE_PATCH_CHANGE));
}

void ug_volt_meter::ChooseDetector()
{
    // Values outside the list keep the detector chosen before (DC at first).
    if (mode_ == MODE_DC)
        detector_ = static_cast<process_func_ptr>(&ug_volt_meter::process_dc);
    else if (mode_ == MODE_AC_RMS)
        detector_ = static_cast<process_func_ptr>(&ug_volt_meter::process_ac);
}

int32_t ug_volt_meter::ReportPeriod()
{
    // 0 (and any rate the list cannot give) means the regular rate; the period is never empty.
    if (updateRate_ <= 0)
        updateRate_ = kDefaultRate;
    const int rate = std::min<int>(updateRate_, kMaxRate);
    return std::max(1, static_cast<int>(SampleRate()) / rate);
}

int ug_volt_meter::Open()
{
    const int result = ug_base::Open();
    ChooseDetector();
    SetProcessFunction(detector_);
    lastShown_ = -1.0f;
    RunDelayed<&ug_volt_meter::Report>(sampleClock_);
    timerRunning_ = true;
    return result;
}

void ug_volt_meter::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    Wake();
    if (pin->index_ == PN_MODE)
    {
        ChooseDetector();
        SetProcessFunction(detector_);
    }
    else if (state == ST_STOPPED)
    {
        return;
    }
    else
    {
        SetProcessFunction(detector_);
    }
    if (!timerRunning_)
    {
        timerRunning_ = true;
        RunDelayed<&ug_volt_meter::Report>(sampleClock_ + ReportPeriod());
    }
    idle_ = false;
}

void ug_volt_meter::process_dc(int start, int count)
{
    if (count <= 0)
        return;
    const float* in = input_ptr_ + start;
    float sum = 0.0f;
    for (int i = 0; i < count; ++i)
        sum += in[i];
    const float mean = sum / static_cast<float>(count);
    reading_ = (reading_ - mean) * kDcSmoothing + mean;
}

void ug_volt_meter::process_ac(int start, int count)
{
    const float* in = input_ptr_ + start;
    // Pieces longer than the window would weight the old reading negatively: take them in window-sized parts.
    while (count > 0)
    {
        const int part = std::min(count, kAcWindow);
        float squares = 0.0f;
        for (int i = 0; i < part; ++i)
            squares += in[i] * in[i];
        reading_ = (static_cast<float>(kAcWindow - part) * reading_ + squares) * kAcScale;
        in += part;
        count -= part;
    }
}

void ug_volt_meter::Report()
{
    // A reading that overflowed or became not-a-number starts again from 0 rather than reach the editor.
    if (!std::isfinite(reading_))
        reading_ = 0.0f;
    const bool changed = !(lastShown_ == reading_);
    if (changed)
    {
        lastShown_ = reading_;
        value_ = reading_ * 10.0f;
        SendPinsCurrentValue(sampleClock_, plugs_[PN_PATCH_VALUE]);
    }

    if (!changed && idle_)
    {
        timerRunning_ = false;
        SetProcessFunction(&ug_base::process_sleep);
    }
    else
    {
        SetProcessFunction(detector_);
        RunDelayed<&ug_volt_meter::Report>(sampleClock_ + ReportPeriod());
    }
    if (plugs_[PN_SIGNAL]->state_ != ST_STREAMING)
        idle_ = true;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Volt Meter", 500, 32828, nullptr, &UnitClassOf<ug_volt_meter>::value, 384));
}
