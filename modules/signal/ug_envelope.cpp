#include "modules/signal/ug_envelope.h"

#include <cmath>
#include <cstdint>
#include <limits>

ug_envelope::ug_envelope()
{
    SetSegmentRoutine(&ug_envelope_base::sub_process7);
    ignoreProgramChange_ = true;
}

void ug_envelope::ChooseSubProcess()
{
    const int segment = currentSegment_;
    const bool inRange = segment >= 0 && segment < kMaxSegments;
    UPlug* levelPin = nullptr;
    bool targetStreaming = false;
    if (inRange && segment < lastSegment_)
    {
        levelPin = levelPins_[segment];
        if (levelPin)
        {
            target_ = SafeLevel(levelPin->getValue());
            targetStreaming = IsStreaming(levelPin) && levelBuffers_[segment];
        }
        else
        {
            target_ = fixedLevels_[segment];
        }
    }
    else
    {
        target_ = 0.0f;
    }

    UPlug* overall = GetPlug(overallPinIndex_);
    const bool overallStreaming = IsStreaming(overall);
    if (IsStreaming(GetPlug(gatePinIndex_)))
        SetProcessFunction(&ug_envelope_base::process_with_gate);
    else
        UseSubProcess();

    UPlug* ratePin = inRange ? ratePins_[segment] : nullptr;
    const bool rateStreaming = IsStreaming(ratePin) && rateBuffers_[segment];

    if (rate_ == 0.0f)
    {
        if (targetStreaming)
        {
            SetSegmentRoutine(&ug_envelope_base::sub_process9);
            Announce(ST_STREAMING);
        }
        else if (overallStreaming && segment == sustainSegment_)
        {
            SetSegmentRoutine(&ug_envelope_base::sub_process4);
            Announce(ST_STREAMING);
        }
        else
        {
            overallLevel_ = SafeLevel(overall ? overall->getValue() : 0.0f);
            level_ = target_;
            SetSegmentRoutine(&ug_envelope_base::sub_process3);
            ResetStaticOutput();
            Announce(ST_STATIC);
        }
        return;
    }

    if (targetStreaming && rateBuffers_[segment])
    {
        SetSegmentRoutine(&ug_envelope_base::sub_process8);
    }
    else if (rateStreaming)
    {
        SetSegmentRoutine(&ug_envelope_base::sub_process5);
    }
    else
    {
        if (overallStreaming)
            SetSegmentRoutine(&ug_envelope_base::sub_process5b);
        else
            SetSegmentRoutine(&ug_envelope_base::sub_process6);
        const float step = RatePerSample(ratePin ? ratePin->getValue() : 0.0f);
        rate_ = target_ >= level_ ? step : -step;
        // Whole samples to the target; at least one, also when not finite.
        const double left = static_cast<double>(target_ - level_) / static_cast<double>(rate_);
        if (left >= static_cast<double>(std::numeric_limits<int32_t>::max()))
            samplesLeft_ = std::numeric_limits<int32_t>::max();
        else if (left >= 1.0)
            samplesLeft_ = static_cast<int32_t>(left);
        else
            samplesLeft_ = 1;
        rampStartLevel_ = level_;
        rampLength_ = samplesLeft_;
        overallLevel_ = SafeLevel(overall ? overall->getValue() : 0.0f);
        scaledRate_ = rate_ * overallLevel_;
        scaledLevel_ = level_ * overallLevel_;
    }
    Announce(ST_STREAMING);
}

void ug_envelope::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    if (pin->index_ == gatePinIndex_)
    {
        if (state == ST_STREAMING)
        {
            SetProcessFunction(&ug_envelope_base::process_with_gate);
            return;
        }
        OnGateChange(pin->getValue());
        if (GetProcessFunction() == static_cast<process_func_ptr>(&ug_envelope_base::process_with_gate))
            ChooseSubProcess();
        return;
    }

    // An idle envelope ignores everything but the gate.
    if (currentSegment_ >= lastSegment_ && rate_ == 0.0f)
        return;
    const int segment = currentSegment_;
    const bool inRange = segment >= 0 && segment < kMaxSegments;
    const bool relevant = pin->index_ == overallPinIndex_ ||
                          (inRange && (pin == ratePins_[segment] || pin == levelPins_[segment]));
    if (relevant)
        ChooseSubProcess();
}
