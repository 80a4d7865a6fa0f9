#include "engine/voices/ug_voice_mute.h"

#include <algorithm>

#include "core/InterfaceObject.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/voices/Voice.h"
#include "engine/graph/ug_container.h"

namespace
{
// The mute's own event: the voice's gain from the event's sample on (arg3 1
// for full, 0 for silent).
constexpr int32_t kVoiceGainEvent = 21;
} // namespace

ug_voice_mute::ug_voice_mute()
{
    SetProcessFunction(&ug_voice_mute::process);
}

void ug_voice_mute::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &in_));
    pins.push_back(new InterfaceObject(&rampMs_, L"Ramp Time", DR_IN, DT_FLOAT, L"2", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    pins.push_back(new InterfaceObject(&alwaysOn_, L"Always On", DR_IN, DT_BOOL, L"0", L"", 0));
}

int ug_voice_mute::Open()
{
    Bypass(false);
    const int result = ug_base::Open();
    voice_ = parentContainer_ ? parentContainer_->VoiceAt(voiceNumber_) : nullptr;
    if (voice_)
        voice_->AddMute(this);
    gain_ = TargetGain();
    target_ = gain_;
    told_ = gain_;
    // The first block announces the output's state, so watchers know it.
    outputStreaming_ = true;
    announced_ = false;
    SetProcessFunction(&ug_voice_mute::process);
    return result;
}

float ug_voice_mute::TargetGain()
{
    const Voice* voice = voice_;
    if (!voice && parentContainer_)
        voice = parentContainer_->VoiceAt(voiceNumber_);
    if (!voice)
        return 1.0f;
    // A stolen or killed voice fades even when always on: its note source
    // keeps the gate up, so nothing else would ever silence it and free it.
    if (voice->state_ == VS_MUTED)
        return 0.0f;
    if (alwaysOn_)
        return 1.0f;
    return voice->state_ == VS_ACTIVE && voice->activeValue_ > 0.0f ? 1.0f : 0.0f;
}

void ug_voice_mute::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    if (pin->index_ == PN_ALWAYS_ON)
    {
        target_ = told_ = TargetGain();
        return;
    }
    if (pin->index_ != PN_IN)
        return;
    // The readers go back to the mute's own block before it can hold a constant.
    Bypass(false);
    inputStreaming_ = state == ST_STREAMING;
    // A new constant input passes on at once unless the voice is silent.
    if (!inputStreaming_ && gain_ > 0.0f)
        AnnounceOutput(time, false);
}

void ug_voice_mute::Suspend()
{
    Bypass(false);
    if (out_ && audioMaster_)
        std::fill(out_, out_ + audioMaster_->BlockSize(), 0.0f);
    gain_ = 0.0f;
    AnnounceOutput(sampleClock_, false);
    ug_base::Suspend();
}

void ug_voice_mute::Resume(int64_t time)
{
    if ((flags_ & UGF_SUSPENDED) == 0)
        return;
    ug_base::Resume(time);
    SetProcessFunction(&ug_voice_mute::process_silent);
    RunDelayed<&ug_voice_mute::StartNote>(std::max(time, sampleClock_));
}

void ug_voice_mute::StartNote()
{
    SetProcessFunction(&ug_voice_mute::process);
}

void ug_voice_mute::process_silent(int blockPosition, int sampleFrames)
{
    if (out_)
        std::fill(out_ + blockPosition, out_ + blockPosition + sampleFrames, 0.0f);
}

void ug_voice_mute::AnnounceOutput(int64_t time, bool streaming)
{
    UPlug* out = GetPlug(PN_OUT);
    if (!out || (announced_ && streaming == outputStreaming_ && streaming))
        return;
    out->TransmitState(time, streaming ? ST_STREAMING : ST_STATIC);
    outputStreaming_ = streaming;
    announced_ = true;
}

void ug_voice_mute::VoiceChanged(int64_t time)
{
    const float target = TargetGain();
    if ((flags_ & UGF_SUSPENDED) != 0)
    {
        // Silent until resumed, and then silent until its note's sample.
        target_ = target;
        told_ = target;
        return;
    }
    if (target == told_)
        return;
    told_ = target;
    // The event wakes a mute that left the loop; its run is cut at the
    // event, so the fade starts at the note's sample. Notes and the
    // retiring of a voice are carried out before the voice's modules run
    // their piece; a change made after the mute has run its piece would take
    // effect from its clock.
    if (!PostEvent(std::max(time, sampleClock_), kVoiceGainEvent, 0, 0, target > 0.0f ? 1 : 0))
        target_ = target;
}

void ug_voice_mute::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType == kVoiceGainEvent)
    {
        target_ = event->arg3 != 0 ? 1.0f : 0.0f;
        return;
    }
    ug_base::HandleEvent(event);
}

void ug_voice_mute::Bypass(bool on)
{
    if (on == bypassed_)
        return;
    if (on)
    {
        bypassed_ = AddBypassRoute(PN_IN, PN_OUT);
        if (!bypassed_)
            ClearBypassRoutes(PN_IN, PN_OUT);
        return;
    }
    bypassed_ = false;
    ClearBypassRoutes(PN_IN, PN_OUT);
}

void ug_voice_mute::process(int blockPosition, int sampleFrames)
{
    Bypass(false);
    // A mute that no voice tells of its changes looks on every run.
    if (!voice_)
        target_ = told_ = TargetGain();
    const float target = target_;
    const float* in = in_ + blockPosition;
    float* out = out_ + blockPosition;
    const bool ramping = gain_ != target;
    // Where in the piece the output took its last value: a ramp that ends
    // here ends at its own sample, however the block was cut.
    int settledAt = 0;
    if (!ramping)
    {
        if (gain_ > 0.0f)
            std::copy(in, in + sampleFrames, out);
        else
            std::fill(out, out + sampleFrames, 0.0f);
    }
    else
    {
        const float sampleRate = audioMaster_ ? audioMaster_->SampleRate() : 44100.0f;
        step_ = 1.0f / std::max(1.0f, rampMs_ * 0.001f * sampleRate);
        int i = 0;
        for (; i < sampleFrames && gain_ != target; ++i)
        {
            gain_ = target > gain_ ? std::min(target, gain_ + step_) : std::max(target, gain_ - step_);
            out[i] = in[i] * gain_;
        }
        settledAt = std::max(0, i - 1);
        if (gain_ > 0.0f)
            std::copy(in + i, in + sampleFrames, out + i);
        else
            std::fill(out + i, out + sampleFrames, 0.0f);
    }

    const bool streaming = gain_ != target || (inputStreaming_ && gain_ > 0.0f);
    // A whole ramp in one piece still streams while it lasts.
    if (ramping && !streaming && (!outputStreaming_ || !announced_))
        AnnounceOutput(sampleClock_, true);
    if (streaming != outputStreaming_ || !announced_)
    {
        AnnounceOutput(sampleClock_ + (streaming ? 0 : settledAt), streaming);
        return;
    }
    // Its voice plays on at full gain: the copy changes nothing. The readers
    // take the input's block from the next piece on (this piece's copy is
    // already made) and the mute sleeps until it is told of a change.
    if (!ramping && gain_ == 1.0f && inputStreaming_ && voice_ && EventListEmpty() &&
        (flags_ & UGF_SUSPENDED) == 0)
    {
        Bypass(true);
        if (bypassed_)
            SleepMode();
    }
}
