#pragma once
// A stand-in note source for voice tests: a voice list whose container side
// records what the allocator asks of it, and a note source that turns MIDI
// note bytes into voice-list calls and builds the mode word from its settings.

#include <cstdint>
#include <vector>

#include "engine/voices/VoiceList.h"

namespace kvtest
{

// Pitch of a key in the units of the Voice/Pitch parameter: 1 per octave.
inline float KeyPitch(int key)
{
    return key / 12.0f;
}

class RecordingVoiceList : public VoiceList
{
public:
    // Voice count and reserve, voices made as a polyphonic note source asks.
    RecordingVoiceList(int voices, int reserve)
    {
        OnNoteSourceAdded(0x100020);
        setVoiceCount(voices);
        setVoiceReserveCount(reserve);
        CloneVoices();
    }

    struct Start
    {
        int64_t time;
        int voice;
        int key;
        bool retrigger;
    };
    std::vector<Start> starts;
    std::vector<float> glideStarts;
    int heldBackWakeUps = 0;
    float sampleRate = 48000.0f;

protected:
    float InitializeVoiceParameters(int64_t time, Voice* voice, bool retrigger) override
    {
        starts.push_back({time, voice->voiceId_, voice->key_, retrigger});
        return KeyPitch(voice->key_);
    }
    void SendVoiceAutomation(int64_t /*time*/, int code, float value) override
    {
        if (code == 0x0B000000)
            glideStarts.push_back(value);
    }
    void PostPlayHeldBackNotes() override { ++heldBackWakeUps; }
    float VoiceSampleRate() override { return sampleRate; }
};

// The settings of a MIDI-to-CV style note source, as its pins give them.
struct TestNoteSource
{
    explicit TestNoteSource(VoiceList& list) : voices(list) {}

    // Polyphony mode 0 soft, 1 hard, 2 overlap; priority 0 off, 1 low, 2 high, 3 last.
    void Configure(int polyphonyMode, bool mono, bool retrigger = false, int priority = 0, bool constantRate = false)
    {
        int32_t word = polyphonyMode;
        if (mono)
            word = 4 + (retrigger ? 1 : 0) + priority * 256;
        if (constantRate)
            word |= 0x40000;
        voices.SetModuleAllocationMode(word);
    }

    // A three-byte channel message; note-on with velocity 0 is a note-off.
    void Midi(int64_t time, uint8_t status, uint8_t key, uint8_t velocity)
    {
        const int kind = status & 0xF0;
        if (kind == 0x90 && velocity > 0)
            voices.VoiceAllocationNoteOn(time, key, -1);
        else if (kind == 0x80 || kind == 0x90)
            voices.VoiceAllocationNoteOff(time, key);
    }
    void On(int64_t time, int key) { Midi(time, 0x90, static_cast<uint8_t>(key), 100); }
    void Off(int64_t time, int key) { Midi(time, 0x80, static_cast<uint8_t>(key), 0); }

    VoiceList& voices;
};

} // namespace kvtest
