#pragma once
// engine/voices/: polyphony. The voices of a container, which voice plays a
// key, stealing, held-back notes, monophonic returns and glide, and the mute
// that fades a stolen voice's audio.
// Threads: the audio thread; voices are made while the graph is built.
//
// The voices of a container and the per-key bookkeeping that decides which
// voice plays a new key, which voice is stolen when none is free, which notes
// wait for a voice, where a monophonic patch returns when a key is released,
// and the glide of pitch between notes. Audio thread only; nothing on the
// note path allocates except the event that wakes held-back notes.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/voices/IVoiceControl.h"
#include "engine/voices/Voice.h"

class UPlug;
class ug_base;

class VoiceList : public IVoiceControl
{
public:
    static constexpr int kKeyCount = 128;
    static constexpr int kHistorySize = 16;
    static constexpr int kMaxVoiceCount = 128;
    static constexpr int kMaxVoiceReserveCount = 32;

    // Mode word: low byte the allocation mode, then note priority and glide bits.
    enum AllocationMode : int32_t
    {
        VA_SOFT_STEAL = 0,
        VA_HARD_STEAL = 1,
        VA_OVERLAP = 2,
        VA_OVERLAP_TAKE_OVER = 3,
        VA_MONO = 4,
        VA_MONO_RETRIGGER = 5,
        VA_GLIDE_ALWAYS = 0x10000,
        VA_GLIDE_CONSTANT_RATE = 0x40000,
    };
    enum NotePriority : int32_t
    {
        NP_OFF = 0,
        NP_LOW = 1,
        NP_HIGH = 2,
        NP_LAST = 3,
    };

    VoiceList();
    ~VoiceList() override;

    VoiceList(const VoiceList&) = delete;
    VoiceList& operator=(const VoiceList&) = delete;

    // Note on: the chosen voice, or null when the note is held back.
    // A voice index of 0 or more forces that voice (the last one when beyond).
    Voice* AllocateNoteOn(int64_t time, int key, int voiceIndex);
    void VoiceAllocationNoteOn(int64_t time, int key, int voiceIndex) override { AllocateNoteOn(time, key, voiceIndex); }
    void DoNoteOn(int64_t time, Voice* voice, int key, bool retrigger);
    void SetVoiceParameters(int64_t time, Voice* voice, float active, int key);

    void VoiceAllocationNoteOff(int64_t time, int key) override;
    // Release only; a key below 0 releases every voice.
    void NoteOff(int64_t time, int key) override;
    void killVoice(int64_t time, int key) override;
    void DoNoteOff(int64_t time, Voice* voice, float activeValue);

    void suspendVoice(int64_t time, int voiceId);
    void OnVoiceSuspended(int64_t time);
    void PlayHeldBackNotes(int64_t time);

    // The voice holding the key, else the one that released it last.
    Voice* GetVoiceOfKey(int key);
    int GetVoice(int key) override;
    int KeyOfVoice(int voiceId) override;

    void ConnectVoiceHostControl(int hostControl, UPlug* plug);
    void OnVoiceControlChanged(int64_t time, int hostControl, int size, const void* data, int key) override;
    // Lifting the pedal lets go of every note it was holding.
    void setHold(int64_t time, bool hold) override;
    bool IsVoiceSustained(int voiceId) override;
    void SendProgChange(int program) override;

    // Makes the further voices (VoiceCount + reserve in all) once the graph
    // is built, when a polyphonic note source asks for them.
    void CloneVoices();

    // Adds to the newest voice (voice 0 while the graph is built).
    void AddVoiceModule(ug_base* module);
    // Voices 1 to `highest` for a note source that numbers its own voices.
    void AddNumberedVoices(int highest);
    void OnNoteSourceAdded(uint32_t moduleFlags);

    void setVoiceCount(int count);
    void setVoiceReserveCount(int count);
    int VoiceCount() const { return voiceCount_; }
    int VoiceReserveCount() const { return voiceReserveCount_; }
    int voiceReserveCount() const { return voiceReserveCount_; }
    int getPhysicalVoiceCount() const { return static_cast<int>(voices_.size()); }
    Voice* VoiceAt(int index) { return index >= 0 && index < getPhysicalVoiceCount() ? voices_[index] : nullptr; }

    // The mode word in force: the note source's, else the host's.
    int32_t CurrentAllocationMode() const;
    void SetModuleAllocationMode(int32_t mode) { moduleMode_ = mode; }
    void SetHostAllocationMode(int32_t mode) { hostMode_ = mode; }

    bool HasNoteSource() const { return hasNoteSource_; }
    bool HasPolyphonicNoteSource() const { return polyphonicNoteSource_; }
    bool ThirdSourceFlag() const { return thirdSourceFlag_; }
    bool KeyHeld(int key) const { return ValidKey(key) && keyHeld_[key]; }
    bool HeldBack(int key) const { return ValidKey(key) && heldBack_[key]; }
    int HeldKeyCount() const { return heldKeyCount_; }
    int LastKey() const { return lastKey_; }
    float GlidePitch() const { return glidePitch_; }
    float GlideRate() const { return glideRate_; }

    bool holdPedal_ = false;
    float portamento_ = 0.0f;

protected:
    static bool ValidKey(int key) { return key >= 0 && key < kKeyCount; }

    // What a note needs from the container the voices live in.
    // Sends the key's voice parameters to the voice; returns its pitch.
    virtual float InitializeVoiceParameters(int64_t /*time*/, Voice* /*voice*/, bool /*retrigger*/) { return 0.0f; }
    virtual void SendVoiceAutomation(int64_t /*time*/, int /*automationCode*/, float /*value*/) {}
    // Drops the "Voice/Gate" the pedal was holding up in this voice.
    virtual void ReleaseSustainedGate(int64_t /*time*/, Voice* /*voice*/) {}
    // Schedules PlayHeldBackNotes at the start of the next block.
    virtual void PostPlayHeldBackNotes() {}
    virtual float VoiceSampleRate() { return 44100.0f; }
    virtual int64_t PinTimestamp(UPlug* /*pin*/, int64_t time) { return time; }
    virtual void QueueProgramChange(ug_base* /*module*/, int /*program*/) {}
    // Fills new voices with clones of voice 0's polyphonic modules.
    virtual void CloneVoiceModules(Voice* /*model*/, const std::vector<Voice*>& /*voices*/) {}

    std::vector<Voice*> voices_;

private:
    Voice* allocateVoice(int64_t time, int key, int32_t mode);
    void ReleaseStep(int64_t time, int key);
    bool AnyHeldBack() const;
    int MonoReturnKey(int key, int32_t mode);

    int32_t hostMode_ = -1;
    int32_t moduleMode_ = -1;
    int16_t voiceCount_ = 8;
    int32_t lastKey_ = -1;
    std::array<bool, kKeyCount> keyHeld_{};
    std::array<bool, kKeyCount> heldBack_{};
    std::array<uint8_t, kKeyCount> keyVelocity_{};
    std::array<int8_t, kHistorySize> keyHistory_{};
    int32_t historyIndex_ = -1;
    int32_t roundRobin_ = 0;
    int32_t voiceReserveCount_ = 3;
    std::vector<UPlug*> activePins_;
    std::vector<UPlug*> virtualVoicePins_;
    bool hasNoteSource_ = false;
    bool polyphonicNoteSource_ = false;
    bool thirdSourceFlag_ = false;
    int32_t heldKeyCount_ = 0;
    float glidePitch_ = -1000.0f;
    float glideRate_ = 0.0f;
    float glideTarget_ = 0.0f;
    int64_t glideTime_ = 0;
};
