#include "modules/signal/ug_feedback_delay_out.h"

#include <algorithm>

#include "core/InterfaceObject.h"
#include "engine/graph/CUGLookupList.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "modules/signal/ug_feedback_delay.h"

ug_feedback_delay_out::ug_feedback_delay_out()
{
    SetProcessFunction(&ug_feedback_delay_out::sub_process_static);
}

void ug_feedback_delay_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&unused_, L"", DR_IN, DT_ENUM, L"0", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &audioOut_ptr_));
    pins.push_back(
        new InterfaceObject(nullptr, L"Delay Time Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &delayTimeOut_ptr_));
}

ug_base* ug_feedback_delay_out::Clone(CUGLookupList& lookup)
{
    auto* clone = static_cast<ug_feedback_delay_out*>(ug_base::Clone(lookup));
    if (!clone || !partner_)
        return clone;
    ug_base* found = lookup.LookupPolyphonic(partner_);
    if (found && found != partner_)
    {
        auto* main = static_cast<ug_feedback_delay*>(found);
        clone->partner_ = main;
        main->SetPartner(clone);
    }
    return clone;
}

int ug_feedback_delay_out::Open()
{
    const int result = ug_base::Open();
    plugs_[PN_AUDIO_OUT]->TransmitState(0, ST_STATIC);
    plugs_[PN_DELAY_TIME_OUT]->TransmitState(0, ST_STATIC);
    return result;
}

void ug_feedback_delay_out::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_PLAY_HELD_BACK_NOTES)
    {
        ug_base::HandleEvent(event);
        return;
    }
    const int32_t state = std::clamp<int32_t>(event->arg1, ST_STOPPED, ST_STREAMING);
    plugs_[PN_AUDIO_OUT]->TransmitState(event->sampleTime, static_cast<state_type>(state));
}

void ug_feedback_delay_out::sub_process_static(int start, int count)
{
    // The added delay: one block, in milliseconds at one volt (0.1) per millisecond.
    const float blockSize = audioMaster_ ? static_cast<float>(audioMaster_->BlockSize()) : 0.0f;
    const float rate = SampleRate();
    const float milliseconds = rate > 0.0f ? blockSize * 100.0f / rate : 0.0f;
    std::fill(delayTimeOut_ptr_ + start, delayTimeOut_ptr_ + start + count, milliseconds);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

void ug_feedback_delay_out::PPSetUpstream()
{
    const bool before = (flags_ & UGF_POLYPHONIC) != 0;
    ug_base::PPSetUpstream();
    if (!before && (flags_ & UGF_POLYPHONIC) && partner_)
        partner_->PPSetUpstream();
}

void ug_feedback_delay_out::PPPropogateVoiceNumUp(int voice)
{
    const int32_t before = voiceNumber_;
    ug_base::PPPropogateVoiceNumUp(voice);
    if (voiceNumber_ != before && partner_)
        partner_->PPPropogateVoiceNumUp(voice);
}
