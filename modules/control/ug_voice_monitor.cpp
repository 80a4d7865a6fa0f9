#include "modules/control/ug_voice_monitor.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/voices/Voice.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_param_setter.h"

int ug_voice_monitor::Open()
{
    const int result = ug_adder2::Open();
    // Nothing is summed: the inputs are only watched.
    SetProcessFunction(&ug_base::process_nothing);
    inputsStreaming_ = 2;
    state_ = MS_WATCHING;
    silentSince_ = 0;
    ug_base* setter = parentContainer_ ? parentContainer_->ParameterSetterIfAny() : nullptr;
    eventTarget_ = setter ? setter : this;
    return result;
}

Voice* ug_voice_monitor::WatchedVoice()
{
    return parentContainer_ ? parentContainer_->VoiceAt(voiceNumber_) : nullptr;
}

void ug_voice_monitor::HandleEvent(KorvaneEvent* event)
{
    const bool stateChange =
        event->eventType == UET_EVENT_STREAMING_START || event->eventType == UET_EVENT_STREAMING_STOP;
    UPlug* pin = stateChange ? GetPlug(event->arg1) : nullptr;
    if (!pin || pin->direction_ != DR_IN)
    {
        ug_base::HandleEvent(event);
        return;
    }
    pin->state_ = event->eventType == UET_EVENT_STREAMING_START ? ST_STREAMING : ST_STOPPED;
    silentSince_ = event->sampleTime;
    inputsStreaming_ = 0;
    for (const UPlug* input : plugs_)
    {
        if (input->direction_ == DR_IN && input->state_ == ST_STREAMING)
            inputsStreaming_ = 2;
    }
}

void ug_voice_monitor::DoProcess(int blockPosition, int sampleFrames)
{
    ug_base::DoProcess(blockPosition, sampleFrames);

    if (inputsStreaming_ != 0)
    {
        if (state_ == MS_SUSPENDING)
            state_ = MS_WATCHING;
        // Nothing to watch while the voice sounds: the block loop passes this
        // module by until an input's state changes (an event wakes it).
        SleepMode();
        return;
    }
    if (!audioMaster_ || blockPosition + sampleFrames != audioMaster_->BlockSize())
        return;

    Voice* voice = WatchedVoice();
    if (!voice)
        return;
    const int64_t now = sampleClock_;
    const int64_t release = voice->releaseTime_;
    if (release >= now - 3)
    {
        state_ = MS_WATCHING;
        return;
    }

    switch (state_)
    {
    case MS_WATCHING:
        // A key released under the hold pedal keeps its voice until the pedal
        // lifts; a key released before the pedal went down does not, and a
        // stolen one is retired all the same, so that waiting notes can play.
        if (release != 0 && voice->sustained_ && voice->state_ == VS_ACTIVE)
            return;
        eventTarget_->PostEvent(audioMaster_->NextGlobalStartClock(), UET_DEACTIVATE_VOICE, 0, 0, voice->voiceId_);
        state_ = MS_DEACTIVATING;
        break;
    case MS_DEACTIVATING:
        if (now - silentSince_ <= audioMaster_->BlockSize())
            return;
        eventTarget_->PostEvent(now, UET_SUSPEND, 0, 0, voice->voiceId_);
        savedReleaseTime_ = release;
        state_ = MS_SUSPENDING;
        break;
    default:
        if (release != savedReleaseTime_)
            state_ = MS_WATCHING;
        break;
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"VoiceMonitor", 0, 32829, nullptr, &UnitClassOf<ug_voice_monitor>::value, 8));
}
