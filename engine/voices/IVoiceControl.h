#pragma once
// What patch parameters and the patch manager ask of a container's voice
// list: starting and releasing notes, the voice that plays a key, and voice
// settings carried by host controls.

#include <cstdint>

class IVoiceControl
{
public:
    virtual ~IVoiceControl() = default;

    virtual void VoiceAllocationNoteOn(int64_t time, int key, int voiceId) = 0;
    virtual void VoiceAllocationNoteOff(int64_t time, int key) = 0;
    // The voice number that plays the key, or -1.
    virtual int GetVoice(int key) = 0;
    // The key the voice plays now, or -1.
    virtual int KeyOfVoice(int /*voiceId*/) { return -1; }
    // Key -1 releases every key.
    virtual void NoteOff(int64_t time, int key) = 0;
    virtual void OnVoiceControlChanged(int64_t time, int hostControl, int size, const void* data, int key) = 0;
    virtual void SendProgChange(int program) = 0;
    // Pedal down holds the gate of every key released under it; lifting it
    // drops those gates at `time`.
    virtual void setHold(int64_t time, bool hold) = 0;
    // The key of this voice was released under the hold pedal: its gate stays up.
    virtual bool IsVoiceSustained(int /*voiceId*/) { return false; }
    virtual void killVoice(int64_t time, int key) = 0;
};
