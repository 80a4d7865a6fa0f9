#pragma once
// One voice of a polyphonic container: its copy of the container's
// polyphonic modules and the state of the note it plays.

#include <cstdint>
#include <limits>
#include <vector>

class IKvAudioMaster;
class VoiceList;
class ug_base;
class ug_voice_mute;

enum VoiceState : int32_t
{
    VS_OFF = 0,    // suspended: free for a new note
    VS_ACTIVE = 2, // sounding, held or releasing
    VS_MUTED = 3,  // being stolen or killed
};

class Voice
{
public:
    static constexpr int64_t kHeld = std::numeric_limits<int64_t>::max();

    Voice(VoiceList* owner, int voiceId);

    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    // Appends a module; a note source sets the owner's note-source flags.
    void AddUG(ug_base* module);
    void SetNoteSource(ug_base* module);
    void RemoveUG(ug_base* module);

    void activate(int64_t time, int key);
    void Suspend2(int64_t time);
    void NoteMute(int64_t time);
    void deactivate(int64_t time) { releaseTime_ = time; }
    void reassignVoiceId(int key) { key_ = static_cast<int16_t>(key); }

    void Open(IKvAudioMaster* master, bool polyphonic);
    void Close();
    void SetPPVoiceNumber(int voice);

    // Wakes or puts to sleep the voice's own (polyphonic) modules; a voice
    // woken for a note that starts at `time` is silent until then.
    void ResumeModules(int64_t time);
    void SuspendModules();

    // The state and the active value change only here, so that the voice's
    // mutes hear of it, and of the sample from which it holds (audio thread).
    void SetState(int32_t state, int64_t time);
    void SetActiveValue(float value, int64_t time);
    // A mute that follows this voice; made known when the mute is opened
    // (graph-opening thread).
    void AddMute(ug_voice_mute* mute);

    bool IsHeld() const { return releaseTime_ == kHeld; }
    bool IsFree() const { return state_ == VS_OFF || releaseTime_ == 0; }

    std::vector<ug_base*> modules_;
    int64_t releaseTime_ = 0;
    int64_t startTime_ = 0;
    int16_t key_ = 0;
    int32_t state_ = VS_ACTIVE;
    int32_t voiceId_;
    float velocityWeight_ = 0.0f;
    float activeValue_ = 1.0f;
    // Its key was released while the hold pedal was down: the note sounds on
    // (its gate held) until the pedal lifts.
    bool sustained_ = false;
    bool open_ = false;
    IKvAudioMaster* audioMaster_ = nullptr;
    VoiceList* container_;

private:
    void TellMutes(int64_t time);

    std::vector<ug_voice_mute*> mutes_;
};
