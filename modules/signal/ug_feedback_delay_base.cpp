#include "modules/signal/ug_feedback_delay_base.h"

#include "engine/graph/CUGLookupList.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/ug_container.h"

ug_feedback_delay_base::ug_feedback_delay_base()
{
    SetProcessFunction(&ug_base::process_sleep);
}

bool ug_feedback_delay_base::IsMidi() const
{
    return plugs_.size() > PN_OUT && plugs_[PN_OUT]->datatype_ == DT_MIDI2;
}

void ug_feedback_delay_base::BuildHelperOnce(ug_feedback_delay_base* (*make)())
{
    // Set-up may run this more than once; one helper per module.
    if (partner_ || !parentContainer_ || !inputSide_ || plugs_.size() <= PN_OUT)
        return;
    SetupHelper(make());
}

void ug_feedback_delay_base::SetupHelper(ug_feedback_delay_base* helper)
{
    helper->moduleType = moduleType;
    helper->patchControlContainer_ = patchControlContainer_;
    parentContainer_->AddUG(helper);
    helper->SetupWithoutCug();
    if (helper->plugs_.size() <= PN_OUT)
        return;
    partner_ = helper;
    helper->partner_ = this;
    helper->inputSide_ = false;
    // Lines drawn from this module's output land on the helper's.
    plugs_[PN_OUT]->proxy_ = helper->plugs_[PN_OUT];
}

ug_base* ug_feedback_delay_base::Clone(CUGLookupList& lookup)
{
    auto* clone = static_cast<ug_feedback_delay_base*>(ug_base::Clone(lookup));
    if (!clone)
        return clone;
    clone->inputSide_ = inputSide_;
    if (!partner_)
        return clone;
    ug_base* found = lookup.LookupPolyphonic(partner_);
    if (found && found != partner_)
    {
        auto* other = static_cast<ug_feedback_delay_base*>(found);
        clone->partner_ = other;
        other->partner_ = clone;
    }
    return clone;
}

void ug_feedback_delay_base::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_EVENT_SETPIN && event->eventType != UET_EVENT_MIDI)
    {
        ug_base::HandleEvent(event);
        return;
    }
    const int size = event->arg2 > 0 ? event->arg2 : 0;
    if (inputSide_)
    {
        if (partner_ && audioMaster_)
        {
            const int64_t later = event->sampleTime + audioMaster_->BlockSize();
            partner_->PostEventWithData(later, event->eventType, event->arg1, event->Data(), size);
        }
        return;
    }
    // Only what fits the output passes: the helper's own input (fed by a
    // default source) must not reach a MIDI output as a message.
    const bool midiEvent = event->eventType == UET_EVENT_MIDI;
    if (midiEvent == IsMidi() && plugs_.size() > PN_OUT)
        plugs_[PN_OUT]->Transmit(event->sampleTime, size, event->Data());
}

int ug_feedback_delay_base::Open()
{
    const int result = ug_base::Open();
    // A zero value to start from; a MIDI output has no value to start with.
    if (!IsMidi() && plugs_.size() > PN_OUT)
    {
        const int32_t zero = 0;
        plugs_[PN_OUT]->Transmit(sampleClock_, sizeof(zero), &zero);
    }
    return result;
}

void ug_feedback_delay_base::PPSetUpstream()
{
    const bool before = (flags_ & UGF_POLYPHONIC) != 0;
    ug_base::PPSetUpstream();
    if (!before && (flags_ & UGF_POLYPHONIC) && partner_)
        partner_->PPSetUpstream();
}

void ug_feedback_delay_base::PPPropogateVoiceNumUp(int voice)
{
    const int32_t before = voiceNumber_;
    ug_base::PPPropogateVoiceNumUp(voice);
    if (voiceNumber_ != before && partner_)
        partner_->PPPropogateVoiceNumUp(voice);
}
