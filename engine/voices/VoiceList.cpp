#include "engine/voices/VoiceList.h"

#include <algorithm>
#include <cstring>

#include "core/HostControls.h"
#include "engine/graph/UPlug.h"
#include "engine/graph/ug_base.h"

namespace
{
constexpr uint32_t kClonedSourceFlag = 0x100000;
constexpr uint32_t kThirdSourceFlag = 0x400;
} // namespace

VoiceList::VoiceList()
{
    keyHistory_.fill(-1);
    keyVelocity_.fill(64);
    voices_.push_back(new Voice(this, 0));
}

VoiceList::~VoiceList()
{
    for (Voice* voice : voices_)
        delete voice;
}

int32_t VoiceList::CurrentAllocationMode() const
{
    const int32_t mode = moduleMode_ != -1 ? moduleMode_ : hostMode_;
    // Neither side has set a mode yet: plain polyphony, not "mono" from the
    // low byte of -1.
    return mode == -1 ? 0 : mode;
}

void VoiceList::AddVoiceModule(ug_base* module)
{
    voices_.back()->AddUG(module);
}

void VoiceList::CloneVoices()
{
    const int total = voiceCount_ + voiceReserveCount_;
    if (!polyphonicNoteSource_ || total < 2 || voices_.size() != 1)
        return;
    voices_.reserve(static_cast<size_t>(total));
    std::vector<Voice*> copies;
    copies.reserve(static_cast<size_t>(total - 1));
    for (int id = 1; id < total; ++id)
    {
        auto* voice = new Voice(this, id);
        voices_.push_back(voice);
        copies.push_back(voice);
    }
    CloneVoiceModules(voices_[0], copies);
}

void VoiceList::AddNumberedVoices(int highest)
{
    highest = std::min(highest, kMaxVoiceCount + kMaxVoiceReserveCount - 1);
    while (getPhysicalVoiceCount() <= highest)
        voices_.push_back(new Voice(this, getPhysicalVoiceCount()));
}

void VoiceList::OnNoteSourceAdded(uint32_t moduleFlags)
{
    hasNoteSource_ = true;
    if (moduleFlags & kClonedSourceFlag)
        polyphonicNoteSource_ = true;
    if (moduleFlags & kThirdSourceFlag)
        thirdSourceFlag_ = true;
}

void VoiceList::setVoiceCount(int count)
{
    voiceCount_ = static_cast<int16_t>(std::clamp(count, 1, kMaxVoiceCount));
}

void VoiceList::setVoiceReserveCount(int count)
{
    voiceReserveCount_ = std::clamp(count, 0, kMaxVoiceReserveCount);
}

void VoiceList::SetVoiceParameters(int64_t time, Voice* voice, float active, int key)
{
    if (active > -10.0f)
    {
        const bool changed = active != voice->activeValue_;
        voice->SetActiveValue(active, time);
        if (changed)
        {
            for (UPlug* pin : activePins_)
                pin->TransmitPolyphonic(PinTimestamp(pin, time), voice->voiceId_, sizeof(active), &active);
        }
    }
    if (key >= 0)
    {
        const int32_t virtualId = key;
        for (UPlug* pin : virtualVoicePins_)
            pin->TransmitPolyphonic(PinTimestamp(pin, time), voice->voiceId_, sizeof(virtualId), &virtualId);
    }
}

void VoiceList::VoiceAllocationNoteOff(int64_t time, int key)
{
    if (!ValidKey(key))
        return;
    heldBack_[key] = false;
    if (keyHeld_[key])
    {
        keyHeld_[key] = false;
        --heldKeyCount_;
    }
    if (lastKey_ == key)
        lastKey_ = -1;

    const int32_t mode = CurrentAllocationMode();
    const int m = mode & 0xFF;
    if (m < VA_MONO)
    {
        ReleaseStep(time, key);
        return;
    }

    const int returnKey = MonoReturnKey(key, mode);
    if (returnKey < 0)
    {
        ReleaseStep(time, key);
        return;
    }
    historyIndex_ = (historyIndex_ + 1) % kHistorySize;
    keyHistory_[historyIndex_] = static_cast<int8_t>(returnKey);
    lastKey_ = returnKey;
    Voice* voice = allocateVoice(time, returnKey, mode);
    voice->SetActiveValue(1.0f, time);
    DoNoteOn(time, voice, returnKey, m != VA_MONO);
}

int VoiceList::MonoReturnKey(int key, int32_t mode)
{
    const int priority = (mode >> 8) & 0xF;
    int lastHeld = -1;
    if (historyIndex_ >= 0 && keyHistory_[historyIndex_] == key)
    {
        // Walk back through the history to the newest key still down.
        for (int step = 0; step < kHistorySize; ++step)
        {
            historyIndex_ = (historyIndex_ + kHistorySize - 1) % kHistorySize;
            const int entry = keyHistory_[historyIndex_];
            keyHistory_[historyIndex_] = -1;
            if (entry < 0)
                break;
            if (keyHeld_[entry])
            {
                lastHeld = entry;
                historyIndex_ = (historyIndex_ + kHistorySize - 1) % kHistorySize;
                break;
            }
        }
    }

    switch (priority)
    {
    case NP_LAST:
        return lastHeld;
    case NP_HIGH:
        for (int k = kKeyCount - 1; k >= 0; --k)
        {
            if (keyHeld_[k])
                return k < key ? k : -1;
        }
        return -1;
    case NP_LOW:
        for (int k = 0; k < kKeyCount; ++k)
        {
            if (keyHeld_[k])
                return k > key ? k : -1;
        }
        return -1;
    default:
        return -1;
    }
}

void VoiceList::NoteOff(int64_t time, int key)
{
    ReleaseStep(time, key);
}

void VoiceList::ReleaseStep(int64_t time, int key)
{
    if (key < 0)
    {
        // All notes off also forgets notes still waiting for a voice.
        heldBack_.fill(false);
        for (Voice* voice : voices_)
        {
            // A voice already asleep stays free.
            if (voice->state_ == VS_OFF)
                continue;
            SetVoiceParameters(time, voice, 0.0f, -1);
            voice->releaseTime_ = time;
        }
        return;
    }
    if (!ValidKey(key))
        return;
    heldBack_[key] = false;
    for (Voice* voice : voices_)
    {
        if (voice->state_ == VS_ACTIVE && voice->key_ == key && voice->IsHeld())
        {
            voice->releaseTime_ = time;
            voice->sustained_ = holdPedal_;
        }
    }
}

void VoiceList::setHold(int64_t time, bool hold)
{
    holdPedal_ = hold;
    if (hold)
        return;
    for (Voice* voice : voices_)
    {
        if (!voice->sustained_)
            continue;
        voice->sustained_ = false;
        if (voice->state_ != VS_OFF)
            ReleaseSustainedGate(time, voice);
    }
}

bool VoiceList::IsVoiceSustained(int voiceId)
{
    const Voice* voice = VoiceAt(voiceId);
    return voice && voice->sustained_;
}

void VoiceList::killVoice(int64_t time, int key)
{
    if (!ValidKey(key))
        return;
    std::array<bool, kMaxVoiceCount + kMaxVoiceReserveCount> killed{};
    const int count = std::min(getPhysicalVoiceCount(), static_cast<int>(killed.size()));
    for (int i = 0; i < count; ++i)
    {
        Voice* voice = voices_[i];
        if (voice->state_ == VS_ACTIVE && voice->key_ == key)
        {
            voice->SetState(VS_MUTED, time);
            voice->releaseTime_ = time;
            SetVoiceParameters(time, voice, 0.0f, -1);
            killed[i] = true;
        }
    }
    VoiceAllocationNoteOff(time, key);
    for (int i = 0; i < count; ++i)
    {
        // A mono voice that went back to another key keeps that note.
        if (killed[i] && voices_[i]->key_ == key)
            voices_[i]->releaseTime_ = time;
    }
}

void VoiceList::DoNoteOff(int64_t time, Voice* voice, float activeValue)
{
    if (!voice)
        return;
    SetVoiceParameters(time, voice, activeValue, -1);
    voice->releaseTime_ = time;
}

Voice* VoiceList::GetVoiceOfKey(int key)
{
    Voice* latest = nullptr;
    for (Voice* voice : voices_)
    {
        if (voice->key_ != key)
            continue;
        if (voice->IsHeld())
            return voice;
        if (voice->releaseTime_ > 0 && (!latest || voice->releaseTime_ > latest->releaseTime_))
            latest = voice;
    }
    return latest;
}

void VoiceList::suspendVoice(int64_t time, int voiceId)
{
    Voice* voice = VoiceAt(voiceId);
    if (!voice || voice->IsHeld())
        return;
    if (voice->state_ != VS_OFF)
    {
        voice->SuspendModules();
        voice->SetState(VS_OFF, time);
        voice->releaseTime_ = 0;
        voice->sustained_ = false;
    }
    if (AnyHeldBack())
        PostPlayHeldBackNotes();
}

void VoiceList::OnVoiceSuspended(int64_t /*time*/)
{
    if (AnyHeldBack())
        PostPlayHeldBackNotes();
}

bool VoiceList::AnyHeldBack() const
{
    return std::any_of(heldBack_.begin(), heldBack_.end(), [](bool b) { return b; });
}

void VoiceList::PlayHeldBackNotes(int64_t time)
{
    for (int key = 0; key < kKeyCount; ++key)
    {
        if (!heldBack_[key])
            continue;
        heldBack_[key] = false;
        if (!AllocateNoteOn(time, key, -1))
            heldBack_[key] = true;
        return;
    }
}

void VoiceList::ConnectVoiceHostControl(int hostControl, UPlug* plug)
{
    if (!plug)
        return;
    if (hostControl == HC_VOICE_ACTIVE)
        activePins_.push_back(plug);
    else if (hostControl == HC_VOICE_VIRTUAL_VOICE_ID)
        virtualVoicePins_.push_back(plug);
}

void VoiceList::OnVoiceControlChanged(int64_t /*time*/, int hostControl, int size, const void* data, int /*key*/)
{
    if (!data || size < 4)
        return;
    if (hostControl == HC_VOICE_ALLOCATION_MODE)
        std::memcpy(&hostMode_, data, sizeof(hostMode_));
    else if (hostControl == HC_PORTAMENTO)
        std::memcpy(&portamento_, data, sizeof(portamento_));
}

int VoiceList::GetVoice(int key)
{
    const Voice* voice = GetVoiceOfKey(key);
    return voice ? voice->voiceId_ : -1;
}

int VoiceList::KeyOfVoice(int voiceId)
{
    const Voice* voice = VoiceAt(voiceId);
    return voice ? voice->key_ : -1;
}

void VoiceList::SendProgChange(int program)
{
    for (Voice* voice : voices_)
    {
        if (!voice->open_)
            continue;
        for (ug_base* module : voice->modules_)
            QueueProgramChange(module, program);
    }
}
