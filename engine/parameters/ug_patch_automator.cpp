#include "engine/parameters/ug_patch_automator.h"

#include <algorithm>
#include <cmath>

#include "core/InterfaceObject.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/my_VstTimeInfo.h"
#include "engine/graph/ug_container.h"

namespace
{
constexpr int32_t kTransportPlayingBit = 2;
constexpr double kPositionJump = 0.001;
} // namespace

ug_patch_automator::ug_patch_automator()
{
    flags_ |= UGF_AUTOMATOR;
}

void ug_patch_automator::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE | IO_PRIVATE));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&midiOutValue_, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&hiddenOutValue_, L"Hidden Output", DR_OUT, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(
        new InterfaceObject(&sendAllOnPatchChange_, L"Send All On Patch Change", DR_IN, DT_BOOL, L"0", L"", IO_MINIMISED));
}

IDspPatchManager* ug_patch_automator::Manager() const
{
    return parentContainer_ ? parentContainer_->get_patch_manager() : nullptr;
}

int ug_patch_automator::Open()
{
    if (audioMaster_)
        audioMaster_->RegisterPatchAutomator(this);
    voiceControlState_.container = parentContainer_;
    const int result = ug_midi_device::Open();
    if (sendAllOnPatchChange_)
    {
        if (IDspPatchManager* manager = Manager())
            manager->SendInitialUpdates();
    }

    // One automator of the engine's own master (not an oversampler's) drives
    // the editor queues, wherever its patch manager sits: a patch whose
    // manager is on an inner container still hears its editor.
    if (audioMaster_ && audioMaster_->ClaimGuiQueTimer(this))
    {
        const int blockSize = std::max(1, audioMaster_->BlockSize());
        const int rate = static_cast<int>(audioMaster_->SampleRate());
        const int blocks = std::max(1, rate / (blockSize * kQueueServicesPerSecond));
        timerPeriod_ = blocks * blockSize;
        PostEvent(sampleClock_ + timerPeriod_, UET_GUI_QUE_TIMER);
    }
    return result;
}

void ug_patch_automator::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_GUI_QUE_TIMER)
    {
        ug_midi_device::HandleEvent(event);
        return;
    }
    if (audioMaster_)
        audioMaster_->ServiceGuiQue();
    if (timerPeriod_ > 0)
        PostEvent(sampleClock_ + timerPeriod_, UET_GUI_QUE_TIMER);
}

void ug_patch_automator::OnMidiData(int size, unsigned char* data)
{
    voiceControlState_.container = parentContainer_;
    if (IDspPatchManager* manager = Manager())
        manager->OnMidi(&voiceControlState_, sampleClock_, data, size, false);
}

void ug_patch_automator::SendFloat(IDspPatchManager* manager, int64_t time, int32_t code, float value)
{
    manager->vst_Automation2(time, code, &value, sizeof(value));
}

void ug_patch_automator::UpdateTempo(const my_VstTimeInfo* info)
{
    IDspPatchManager* manager = Manager();
    if (!tempoTransmit_ || !info || !manager)
        return;
    Wake();
    const int64_t time = sampleClock_;
    const bool playing = (info->flags & kTransportPlayingBit) != 0;
    const bool first = firstUpdate_;
    firstUpdate_ = false;

    const auto tempo = static_cast<float>(info->tempo);
    if (tempo != tempo_)
    {
        // The first call always reports the transport too.
        if (tempo_ < 0.0f)
            transportPlaying_ = !playing;
        tempo_ = tempo;
        SendFloat(manager, time, AC_TEMPO, tempo);
        const double sampleRate = audioMaster_ ? audioMaster_->SampleRate() : 0.0;
        quarterNotesPerSample_ =
            tempo > 0.0f && sampleRate > 0.0 && std::isfinite(tempo) ? 0.25 / (sampleRate * 15.0 / tempo) : 0.0;
    }

    if (first || info->timeSigNumerator != numerator_ || info->timeSigDenominator != denominator_)
    {
        numerator_ = info->timeSigNumerator;
        denominator_ = info->timeSigDenominator;
        manager->vst_Automation2(time, AC_NUMERATOR, &numerator_, sizeof(numerator_));
        manager->vst_Automation2(time, AC_DENOMINATOR, &denominator_, sizeof(denominator_));
    }

    if (first || info->barStartPos != barStart_)
    {
        barStart_ = info->barStartPos;
        SendFloat(manager, time, AC_BAR_START, static_cast<float>(barStart_));
    }

    if (playing != transportPlaying_)
    {
        transportPlaying_ = playing;
        manager->vst_Automation(parentContainer_, time, AC_TRANSPORT_PLAYING, playing ? 1.0f : 0.0f);
        if (playing)
        {
            SetProcessFunction(&ug_patch_automator::process_timing);
        }
        else
        {
            SendFloat(manager, time, AC_SONG_POSITION, static_cast<float>(info->ppqPos));
            SetProcessFunction(&ug_base::process_sleep);
        }
    }

    const double jump = songPosition_ - info->ppqPos;
    songPosition_ = info->ppqPos;
    if (jump > kPositionJump || jump < -kPositionJump)
        SendFloat(manager, time, AC_SONG_POSITION, static_cast<float>(songPosition_));
}

void ug_patch_automator::process_timing(int /*blockPosition*/, int sampleFrames)
{
    const double rate = quarterNotesPerSample_;
    IDspPatchManager* manager = Manager();
    if (rate <= 0.0 || !manager)
        return;
    const double end = songPosition_ + sampleFrames * rate;
    const double beat = std::floor(end);
    // Song position advances in whole quarter notes, sent where each is crossed.
    if (beat > std::floor(songPosition_))
    {
        const double offset = std::round(sampleFrames - (end - beat) / rate);
        SendFloat(manager, sampleClock_ + static_cast<int64_t>(offset), AC_SONG_POSITION, static_cast<float>(beat));
    }
    songPosition_ = end;
}
