#include "modules/control/ug_slider.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"

namespace
{
constexpr float kVoltsToSample = 0.1f; // 1.0 = 10 V
constexpr int kGlideDivisor = 32;      // a thirty-second of a second
} // namespace

ug_slider::ug_slider()
{
    flags_ |= UGF_NEVER_SUSPEND;
    output_.curve_ = smart_output::CURVE_LINEAR;
}

void ug_slider::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    ListControlPins(*this, pins);
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"",
                                       IO_AUTOCONFIGURE_PARAMETER, L"", &output_.buffer_));
    pins.push_back(new InterfaceObject(&loValue_, L"Lo Value", DR_IN, DT_FLOAT, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&hiValue_, L"Hi Value", DR_IN, DT_FLOAT, L"10", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&appearance_, L"Appearance", DR_IN, DT_ENUM, L"1",
                                       L"None=-1,Plain Slider, Vert Slider, Horiz Slider, Knob, Button, "
                                       L"Button (toggle),Plain Button, Small Knob, Small Button, Small Button (Toggle)",
                                       IO_MINIMISED, L"Sets the appearance of the control"));
    pins.push_back(new InterfaceObject(nullptr, L"Show Readout", DR_IN, DT_BOOL, L"1", L"", IO_MINIMISED,
                                       L"Adds text readout of value"));
    pins.push_back(new InterfaceObject(nullptr, L"Show Title On Panel", DR_IN, DT_BOOL, L"1", L"", IO_MINIMISED,
                                       L"Leaves control's title blank on Control Panel"));
    pins.push_back(new InterfaceObject(&patchValue_, L"patchValue", DR_IN, DT_FLOAT, L"0", L"",
                                       IO_PATCH_STORE | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"patchValue", DR_OUT, DT_FLOAT, L"", L"",
                                       IO_PATCH_STORE | IO_UI_COMMUNICATION | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"Hint", DR_OUT, DT_TEXT, L"", L"", IO_MINIMISED | IO_UI_COMMUNICATION));
}

int ug_slider::Open()
{
    const int result = ug_base::Open();
    output_.plug_ = plugs_[PN_SIGNAL_OUT];
    output_.staticCountdown_ = audioMaster_ ? audioMaster_->BlockSize() : 0;
    // Hold the present value: the first run writes it and announces it static.
    output_.isStatic_ = false;
    output_.target_ = output_.next_ = output_.value_;
    output_.d1_ = output_.d2_ = output_.d3_ = 0.0f;
    output_.remaining_ = -1;
    SetProcessFunction(&ug_slider::sub_process);
    return result;
}

void ug_slider::Resume(int64_t time)
{
    ug_base::Resume(time);
    if (output_.staticCountdown_ > 0 && audioMaster_)
        output_.staticCountdown_ = audioMaster_->BlockSize();
}

int ug_slider::GlideLength() const
{
    switch (appearance_)
    {
    case APPEARANCE_BUTTON:
    case APPEARANCE_BUTTON_TOGGLE:
    case APPEARANCE_PLAIN_BUTTON:
    case APPEARANCE_SMALL_BUTTON:
        return kButtonGlideSamples;
    default:
        break;
    }
    const float rate = SampleRate();
    // A rate outside any sensible range must not give a huge or negative length.
    if (!(rate > 0.0f) || rate > 1.0e7f)
        return 0;
    return static_cast<int>(rate) / kGlideDivisor;
}

void ug_slider::onSetPin(int64_t time, UPlug* pin, state_type /*state*/)
{
    if (pin != plugs_[PN_PATCH_VALUE_IN])
        return;
    // A value that is not a number keeps the present target.
    if (std::isnan(patchValue_))
        return;
    const float volts = std::clamp(patchValue_, -kLimitVolts, kLimitVolts);
    target_ = volts * kVoltsToSample;
    const int samples = time > 0 ? GlideLength() : 0;
    output_.Set(sampleClock_, target_, samples);
    SetProcessFunction(&ug_slider::sub_process);
}

void ug_slider::sub_process(int start, int count)
{
    if (!output_.isStatic_)
    {
        if (!output_.process(start, count))
        {
            output_.isStatic_ = true;
            output_.staticCountdown_ = audioMaster_->BlockSize();
        }
        return;
    }
    if (output_.staticCountdown_ < 1)
    {
        SetProcessFunction(&ug_base::process_sleep);
        return;
    }
    std::fill(output_.buffer_ + start, output_.buffer_ + start + std::min(output_.staticCountdown_, count),
              output_.target_);
    output_.staticCountdown_ -= count;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Slider", 405, 32828, nullptr, &UnitClassOf<ug_slider>::value, 384));
}
