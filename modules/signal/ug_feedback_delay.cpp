#include "modules/signal/ug_feedback_delay.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/CUGLookupList.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/ug_container.h"
#include "modules/signal/ug_feedback_delay_float.h"
#include "modules/signal/ug_feedback_delay_int.h"
#include "modules/signal/ug_feedback_delay_midi.h"
#include "modules/signal/ug_feedback_delay_out.h"

void ug_feedback_delay::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(
        new InterfaceObject(nullptr, L"Audio In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &audioIn_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &audioOut_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Delay Time Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0,
                                       L"The delay in milliseconds that this module adds to the signal (OUTPUT ONLY).",
                                       &delayTimeOut_ptr_));
}

void ug_feedback_delay::BuildHelperModule()
{
    // Set-up may run this more than once; one helper per module.
    if (partner_ || !parentContainer_ || plugs_.size() <= PN_DELAY_TIME_OUT)
        return;
    auto* helper = new ug_feedback_delay_out();
    helper->moduleType = moduleType;
    helper->patchControlContainer_ = patchControlContainer_;
    parentContainer_->AddUG(helper);
    helper->SetupWithoutCug();
    if (helper->plugs_.size() <= ug_feedback_delay_out::PN_DELAY_TIME_OUT)
        return;
    partner_ = helper;
    helper->SetPartner(this);
    // Lines drawn from this module's outputs land on the helper's.
    plugs_[PN_AUDIO_OUT]->proxy_ = helper->plugs_[ug_feedback_delay_out::PN_AUDIO_OUT];
    plugs_[PN_DELAY_TIME_OUT]->proxy_ = helper->plugs_[ug_feedback_delay_out::PN_DELAY_TIME_OUT];
}

ug_base* ug_feedback_delay::Clone(CUGLookupList& lookup)
{
    auto* clone = static_cast<ug_feedback_delay*>(ug_midi_device::Clone(lookup));
    if (!clone || !partner_)
        return clone;
    // The partner's clone of the same voice, if it is made already.
    ug_base* found = lookup.LookupPolyphonic(partner_);
    if (found && found != partner_)
    {
        auto* helper = static_cast<ug_feedback_delay_out*>(found);
        clone->partner_ = helper;
        helper->SetPartner(clone);
    }
    return clone;
}

int ug_feedback_delay::Open()
{
    const int result = ug_midi_device::Open();
    SetProcessFunction(&ug_feedback_delay::sub_process);
    plugs_[PN_AUDIO_OUT]->TransmitState(0, ST_STATIC);
    plugs_[PN_DELAY_TIME_OUT]->TransmitState(0, ST_STATIC);
    return result;
}

void ug_feedback_delay::PostStateToPartner(int64_t time, state_type state)
{
    if (partner_)
        partner_->PostEvent(time, UET_PLAY_HELD_BACK_NOTES, state);
}

void ug_feedback_delay::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    if (pin->index_ != PN_AUDIO_IN)
        return;
    const int64_t later = time + (audioMaster_ ? audioMaster_->BlockSize() : 0);
    if (state == ST_STATIC)
    {
        const float value = pin->getValue();
        if (lastState_ != ST_STATIC || !(value == lastStaticValue_))
            PostStateToPartner(later, ST_STATIC);
        lastStaticValue_ = value;
        lastState_ = ST_STATIC;
    }
    else
    {
        PostStateToPartner(later, state);
        lastState_ = state;
        if (state == ST_STREAMING)
        {
            SetProcessFunction(&ug_feedback_delay::sub_process);
            return;
        }
    }
    ResetStaticOutput();
    SetProcessFunction(&ug_feedback_delay::sub_process_static);
}

void ug_feedback_delay::CopyToPartner(int start, int count)
{
    float* out = partner_ ? partner_->AudioOutBuffer() : nullptr;
    if (out)
        std::copy(audioIn_ptr_ + start, audioIn_ptr_ + start + count, out + start);
}

void ug_feedback_delay::sub_process(int start, int count)
{
    CopyToPartner(start, count);
}

void ug_feedback_delay::sub_process_static(int start, int count)
{
    CopyToPartner(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

bool ug_feedback_delay::PPSetDownstream()
{
    const bool reachedBefore = (flags_ & UGF_PP_REACHED) != 0;
    if (!ug_midi_device::PPSetDownstream())
        return false;
    // Only the first visit crosses to the helper, so loops through the pair end.
    if (reachedBefore || (flags_ & UGF_PP_REACHED) == 0 || !partner_)
        return true;
    return partner_->PPSetDownstream();
}

void ug_feedback_delay::PPPropogateVoiceNum(int voice)
{
    const int32_t before = voiceNumber_;
    ug_midi_device::PPPropogateVoiceNum(voice);
    if (voiceNumber_ != before && partner_)
        partner_->PPPropogateVoiceNum(voice);
}

namespace
{
bool RegisterFeedbackDelays()
{
    CModuleFactory* factory = CModuleFactory::Instance();
    factory->RegisterModule(
        new Module_Info(L"Feedback Delay", 524, 324, nullptr, &UnitClassOf<ug_feedback_delay>::value, 256));
    factory->RegisterModule(new Module_Info(L"Feedback Delay - MIDI", 526, 324, nullptr,
                                            &UnitClassOf<ug_feedback_delay_midi>::value, 256));
    factory->RegisterModule(new Module_Info(L"KV Feedback Delay - Float", L"Feedback Delay - Float", L"Special",
                                            nullptr, &UnitClassOf<ug_feedback_delay_float>::value, 256));
    factory->RegisterModule(new Module_Info(L"KV Feedback Delay - Int", L"Feedback Delay - Int", L"Special", nullptr,
                                            &UnitClassOf<ug_feedback_delay_int>::value, 256));
    return true;
}

[[maybe_unused]] const bool registered = RegisterFeedbackDelays();
} // namespace
