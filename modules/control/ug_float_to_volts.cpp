#include "modules/control/ug_float_to_volts.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/EPlugDataType.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/pin_description.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

void ug_float_to_volts::assignPlugVariable(int pinId, UPlug* pin)
{
    switch (pinId)
    {
    case PN_SMOOTHING:
        pin->variable_ = &smoothing_;
        break;
    case PN_FLOAT_IN:
        pin->variable_ = &floatIn_;
        break;
    default:
        break;
    }
}

int ug_float_to_volts::Open()
{
    const int result = ug_base::Open();
    UPlug* out = plugs_[PN_VOLTS_OUT];
    output_.plug_ = out;
    output_.curve_ = smart_output::CURVE_LINEAR;
    USampBlock* block = out->GetSampleBlock();
    output_.buffer_ = block ? block->GetBlock() : nullptr;
    runOut_ = audioMaster_ ? audioMaster_->BlockSize() : 0;
    output_.isStatic_ = false;
    output_.next_ = output_.target_ = output_.value_;
    output_.remaining_ = -1;
    // Nothing to write until the first value arrives.
    SetProcessFunction(&ug_base::process_sleep);
    return result;
}

void ug_float_to_volts::Resume(int64_t time)
{
    ug_base::Resume(time);
    if (runOut_ >= 1 && audioMaster_)
        runOut_ = audioMaster_->BlockSize();
}

int ug_float_to_volts::GlideSamples(int64_t time) const
{
    if (time == 0)
        return 0;
    switch (smoothing_)
    {
    case SM_SMOOTH:
        return std::max(0, static_cast<int>(SampleRate()) / 32);
    case SM_FAST:
        return 4;
    default:
        return 0;
    }
}

float ug_float_to_volts::Target(float volts)
{
    if (std::isnan(volts))
        return 0.0f;
    return std::clamp(volts * 0.1f, -kMaxOutput, kMaxOutput);
}

void ug_float_to_volts::onSetPin(int64_t time, UPlug* pin, state_type /*state*/)
{
    if (pin->index_ != PN_FLOAT_IN || !output_.buffer_)
        return;
    output_.Set(time, Target(floatIn_), GlideSamples(time));
    SetProcessFunction(&ug_float_to_volts::sub_process);
}

void ug_float_to_volts::sub_process(int start, int count)
{
    if (!output_.isStatic_)
    {
        if (!output_.process(start, count))
        {
            output_.isStatic_ = true;
            runOut_ = audioMaster_ ? audioMaster_->BlockSize() : 0;
        }
        return;
    }
    if (runOut_ < 1)
    {
        SetProcessFunction(&ug_base::process_sleep);
        return;
    }
    const int n = std::min(runOut_, count);
    std::fill(output_.buffer_ + start, output_.buffer_ + start + n, output_.value_);
    runOut_ -= count;
}

namespace
{
const pin_description kPins[] = {
    {L"Smoothing", DR_IN, DT_ENUM, L"2", L"None,Fast (4 samp),Smooth (30ms)", 0, L""},
    {L"Float In", DR_IN, DT_FLOAT, L"", L"", 0, L""},
    {L"Volts Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L""},
};
const module_description_dsp kDescription = {
    "FloatToVolts", 141, 299, &UnitClassOf<ug_float_to_volts>::value, 256, kPins, 3,
};
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(kDescription);
} // namespace
