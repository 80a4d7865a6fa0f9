#include "engine/voices/Voice.h"

#include <algorithm>

#include "engine/voices/VoiceList.h"
#include "engine/graph/ug_base.h"
#include "engine/voices/ug_voice_mute.h"

Voice::Voice(VoiceList* owner, int voiceId) : voiceId_(voiceId), container_(owner)
{
}

void Voice::AddUG(ug_base* module)
{
    modules_.push_back(module);
    SetNoteSource(module);
}

void Voice::SetNoteSource(ug_base* module)
{
    if (container_ && module && (module->flags_ & ug_base::UGF_POLYPHONIC_SOURCE))
        container_->OnNoteSourceAdded(module->flags_);
}

void Voice::RemoveUG(ug_base* module)
{
    modules_.erase(std::remove(modules_.begin(), modules_.end(), module), modules_.end());
    mutes_.erase(std::remove(mutes_.begin(), mutes_.end(), module), mutes_.end());
}

void Voice::AddMute(ug_voice_mute* mute)
{
    if (std::find(mutes_.begin(), mutes_.end(), mute) == mutes_.end())
        mutes_.push_back(mute);
}

void Voice::SetState(int32_t state, int64_t time)
{
    if (state_ == state)
        return;
    state_ = state;
    TellMutes(time);
}

void Voice::SetActiveValue(float value, int64_t time)
{
    if (activeValue_ == value)
        return;
    activeValue_ = value;
    TellMutes(time);
}

void Voice::TellMutes(int64_t time)
{
    for (ug_voice_mute* mute : mutes_)
        mute->VoiceChanged(time);
}

void Voice::activate(int64_t time, int key)
{
    key_ = static_cast<int16_t>(key);
    startTime_ = time;
    releaseTime_ = kHeld;
    if (state_ == VS_OFF)
        ResumeModules(time);
    SetState(VS_ACTIVE, time);
}

void Voice::Suspend2(int64_t time)
{
    if (IsHeld() || state_ == VS_OFF)
        return;
    SuspendModules();
    SetState(VS_OFF, time);
    releaseTime_ = 0;
}

void Voice::NoteMute(int64_t time)
{
    SetState(VS_MUTED, time);
    releaseTime_ = time;
}

void Voice::Open(IKvAudioMaster* master, bool polyphonic)
{
    audioMaster_ = master;
    for (ug_base* module : modules_)
    {
        module->audioMaster_ = master;
        if (polyphonic && (module->flags_ & ug_base::UGF_POLYPHONIC))
            module->SetPPVoiceNumber(voiceId_);
    }
    for (ug_base* module : modules_)
        module->Open();
    open_ = true;
}

void Voice::Close()
{
    if (!open_)
        return;
    for (ug_base* module : modules_)
        module->Close();
    open_ = false;
}

void Voice::SetPPVoiceNumber(int voice)
{
    for (ug_base* module : modules_)
        module->SetPPVoiceNumber(voice);
}

void Voice::ResumeModules(int64_t time)
{
    for (ug_base* module : modules_)
    {
        if (module->flags_ & ug_base::UGF_POLYPHONIC)
            module->Resume(time);
    }
}

void Voice::SuspendModules()
{
    for (ug_base* module : modules_)
    {
        if (module->flags_ & ug_base::UGF_POLYPHONIC)
            module->Suspend();
    }
}
