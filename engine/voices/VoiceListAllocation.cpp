// Note-on: choosing a voice (free, stolen or none), starting it, and the
// glide from the previous note.
#include <algorithm>
#include <array>
#include <cmath>

#include "engine/voices/VoiceList.h"

namespace
{
constexpr int kGlideStartPitchCode = 0x0B000000;
} // namespace

Voice* VoiceList::AllocateNoteOn(int64_t time, int key, int voiceIndex)
{
    if (!ValidKey(key) || voices_.empty())
        return nullptr;
    const int32_t mode = CurrentAllocationMode();
    const int m = mode & 0xFF;
    const bool retrigger = m == VA_MONO ? lastKey_ == -1 : true;

    lastKey_ = key;
    keyVelocity_[key] = 64;
    historyIndex_ = (historyIndex_ + 1) % kHistorySize;
    keyHistory_[historyIndex_] = static_cast<int8_t>(key);

    if (m >= VA_MONO)
    {
        // A key that loses to the held keys under the note priority is ignored.
        const int priority = (mode >> 8) & 0xF;
        if (priority == NP_LOW && std::any_of(keyHeld_.begin(), keyHeld_.begin() + key, [](bool b) { return b; }))
            return voices_[0];
        if (priority == NP_HIGH && key < kKeyCount - 1 &&
            std::any_of(keyHeld_.begin() + key + 1, keyHeld_.end(), [](bool b) { return b; }))
            return voices_[0];
    }

    Voice* voice = nullptr;
    if (voiceIndex < 0)
        voice = allocateVoice(time, key, mode);
    else
        voice = voices_[std::min(voiceIndex, getPhysicalVoiceCount() - 1)];

    if (!voice)
    {
        heldBack_[key] = true;
        return nullptr;
    }
    DoNoteOn(time, voice, key, retrigger);
    return voice;
}

Voice* VoiceList::allocateVoice(int64_t time, int key, int32_t mode)
{
    const int m = mode & 0xFF;
    Voice* result = nullptr;

    if (m >= VA_MONO)
    {
        result = voices_[0];
    }
    else
    {
        const int count = getPhysicalVoiceCount();
        roundRobin_ = (roundRobin_ + 1) % count;
        Voice* freeVoice = voices_[roundRobin_]->state_ == VS_OFF ? voices_[roundRobin_] : nullptr;
        int c = freeVoice ? 1 : 0;

        const double sampleRate = std::max(1.0, static_cast<double>(VoiceSampleRate()));
        std::array<int, kKeyCount> activePerKey{};
        if (m >= VA_OVERLAP)
        {
            for (const Voice* v : voices_)
            {
                if (v->state_ == VS_ACTIVE && ValidKey(v->key_))
                    ++activePerKey[v->key_];
            }
        }

        Voice* toSteal = nullptr;
        Voice* heldCandidate = nullptr;
        Voice* releasedCandidate = nullptr;
        double heldScore = 0.0;
        double releasedScore = 0.0;

        for (Voice* v : voices_)
        {
            if (v->IsFree())
            {
                if (!freeVoice)
                {
                    freeVoice = v;
                    ++c;
                }
                continue;
            }
            if (v->state_ != VS_ACTIVE)
                continue;
            if (v->key_ == key)
            {
                if (m == VA_SOFT_STEAL)
                {
                    freeVoice = v;
                    continue;
                }
                if (m == VA_HARD_STEAL)
                {
                    toSteal = v;
                    --c;
                    continue;
                }
                // Overlap: the old note counts as released now.
                if (v->IsHeld())
                    v->releaseTime_ = time;
            }

            ++c;
            double score = 1.0 - v->velocityWeight_;
            if (v->IsHeld())
            {
                if (v->startTime_ < time)
                    score += std::min(1.0, static_cast<double>(time - v->startTime_) / sampleRate);
                if (score > heldScore)
                {
                    heldScore = score;
                    heldCandidate = v;
                }
            }
            else
            {
                score += activePerKey[ValidKey(v->key_) ? v->key_ : 0] +
                         static_cast<double>(time - v->releaseTime_) / sampleRate;
                if (score > releasedScore)
                {
                    releasedScore = score;
                    releasedCandidate = v;
                }
            }
        }

        Voice* victim = nullptr;
        if (m == VA_HARD_STEAL && toSteal)
            victim = toSteal;
        else if (freeVoice && c <= voiceCount_)
            result = freeVoice;
        else
            victim = releasedCandidate ? releasedCandidate : heldCandidate;

        if (victim)
        {
            // A victim that started on this very sample has not been heard
            // yet: with no free voice the new note takes it over at once,
            // rather than muting it and waiting a block or more for it to be
            // retired while the note is held back.
            if (!freeVoice && ((mode & 0xF) == VA_OVERLAP_TAKE_OVER || victim->startTime_ == time))
            {
                result = victim;
            }
            else
            {
                // A victim that started on this very sample is muted one later.
                const int64_t t = victim->startTime_ == time ? time + 1 : time;
                SetVoiceParameters(t, victim, freeVoice ? 0.0f : -1.0f, -1);
                victim->SetState(VS_MUTED, t);
                victim->releaseTime_ = t;
                result = freeVoice;
            }
        }
    }

    if (result)
        result->velocityWeight_ = keyVelocity_[key] / 128.0f;
    return result;
}

void VoiceList::DoNoteOn(int64_t time, Voice* voice, int key, bool retrigger)
{
    if (!voice || !ValidKey(key))
        return;
    voice->key_ = static_cast<int16_t>(key);
    const int heldBefore = heldKeyCount_;
    if (!keyHeld_[key])
    {
        keyHeld_[key] = true;
        ++heldKeyCount_;
    }

    const int32_t oldState = voice->state_;
    voice->startTime_ = time;
    voice->releaseTime_ = Voice::kHeld;
    voice->sustained_ = false;
    if (oldState == VS_OFF)
        voice->ResumeModules(time);
    voice->SetState(VS_ACTIVE, time);

    const float pitch = InitializeVoiceParameters(time, voice, retrigger);
    SetVoiceParameters(time, voice, oldState == VS_ACTIVE ? voice->activeValue_ : 1.0f, key);
    heldBack_[key] = false;

    const int32_t mode = CurrentAllocationMode();
    if ((heldBefore == 0 && (mode & VA_GLIDE_ALWAYS) == 0) || glidePitch_ < -999.0f)
    {
        glidePitch_ = pitch;
        glideRate_ = 0.0f;
    }
    else
    {
        glidePitch_ += static_cast<float>(time - glideTime_) * glideRate_;
        if (glideRate_ > 0.0f)
            glidePitch_ = std::min(glidePitch_, glideTarget_);
        else
            glidePitch_ = std::max(glidePitch_, glideTarget_);

        double seconds = std::exp2((((portamento_ - 2.0) * 12000.0 / 10.0) - 8000.0) / 1200.0);
        if (!(seconds >= 0.00001))
            seconds = 0.0;
        const bool up = pitch > glidePitch_;
        const double step = (mode & VA_GLIDE_CONSTANT_RATE) ? (up ? 0.1 : -0.1) : pitch - glidePitch_;
        const double samples = static_cast<double>(VoiceSampleRate()) * seconds;
        if (samples > 0.0 && std::isfinite(samples))
        {
            glideRate_ = static_cast<float>(step / samples);
        }
        else
        {
            // No glide time: jump straight to the new pitch.
            glidePitch_ = pitch;
            glideRate_ = 0.0f;
        }
    }

    SendVoiceAutomation(time, kGlideStartPitchCode, glidePitch_ * 0.1f);
    glideTarget_ = pitch;
    glideTime_ = time;
}
