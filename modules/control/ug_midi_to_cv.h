#pragma once
// "Midi to CV": the control voltages of one voice (gate, pitch, velocity,
// aftertouch) with glide, pitch bend and hold pedal. Notes do not arrive on
// its own MIDI input: a redirect companion hands MIDI to the patch manager,
// whose voice list sets the voice host controls read here, one clone per voice.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "modules/control/ug_notesource.h"

class ug_midi_to_cv : public ug_notesource
{
public:
    enum Pins
    {
        PN_BEND_RANGE = 2,
        PN_GATE = 3,
        PN_PITCH = 4,
        PN_VELOCITY = 5,
        PN_AFTERTOUCH = 6,
        PN_MONO_MODE = 7,
        PN_RETRIGGER = 8,
        PN_PORTAMENTO_TIME = 9,
        PN_MONO_NOTE_PRIORITY = 10,
        PN_POLYPHONY = 11,
        PN_POLYPHONY_RESERVE = 12,
        PN_POLYPHONY_MODE = 13,
        PN_VOICE_ACTIVE = 14,
        PN_PORTAMENTO_RATE = 15,
        PN_AUTO_GLIDE = 16,
        PN_MIDI_OUT = 17,
        PN_VOICE_GATE = 18,
        PN_VOICE_TRIGGER = 19,
        PN_VOICE_VELOCITY = 20,
        PN_VOICE_PITCH = 21,
        PN_VOICE_AFTERTOUCH = 22,
        PN_VOICE_VIRTUAL_ID = 23,
        PN_BENDER = 24,
        PN_PORTAMENTO_ENABLE = 25,
        PN_HOLD_PEDAL = 26,
    };
    // The smoothed outputs, in pin order.
    enum Outputs
    {
        OUT_GATE = 0,
        OUT_VELOCITY = 1,
        OUT_AFTERTOUCH = 2,
        OUT_COUNT = 3,
    };
    static constexpr int kGateDelay = 3;

    ug_midi_to_cv();
    ~ug_midi_to_cv() override = default;

    ug_base* Create() override { return new ug_midi_to_cv(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void BuildHelperModule() override;
    void Setup(IKvAudioMaster* master, TiXmlElement* element) override;
    int Open() override;
    void Resume(int64_t time) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void sub_process(int start, int count) override;

    // A new pitch (1.0 = 10 V) for the sounding note.
    virtual void Retune(float pitch);

    void delay_gate_on();
    void delay_gate_off();

    // Glide time in seconds of a "Portamento Time" value.
    static double GlideSeconds(float portamentoTime);

    float GlidePitch() const { return glidePitch_; }
    float Bend() const { return bend_; }
    bool IsFreshVoice() const { return freshVoice_; }

private:
    void NoteOn(int64_t time);
    void StartGlide(float pitch, bool glideAllowed);
    void UpdateBend(int64_t time);
    void GateOff();
    void WritePitch(int start, int count);
    void AnnouncePitch(int64_t time);
    void AnnouncePitchState(int64_t time, state_type state);

    int16_t bendRange_ = 2;
    std::array<smart_output, OUT_COUNT> outputs_;
    std::array<float*, OUT_COUNT> outputBuffers_{};
    float* pitchBuffer_ = nullptr;
    UPlug* pitchPin_ = nullptr;
    float glideTarget_ = 0.5f;
    float glideIncrement_ = 0.0f;
    float glidePitch_ = 0.5f;
    float bend_ = 0.0f;
    float bendTarget_ = 0.0f;
    float bendIncrement_ = 0.0f;
    int64_t lastGateOnTime_ = -1;
    bool freshVoice_ = true;
    float voiceGate_ = 0.0f;
    float voiceActive_ = 0.0f;
    float voiceTrigger_ = 0.0f;
    float voiceVelocity_ = 0.0f;
    float voicePitch_ = 0.0f;
    float voiceAftertouch_ = 0.0f;
    float rawBend_ = 0.0f;
    int32_t virtualVoiceId_ = 0;
    float bender_ = 0.0f;
    float portamentoEnable_ = 0.0f;
    // Kept for the pin; the container holds the gates (VoiceList::setHold).
    float holdPedal_ = 0.0f;
    bool gateRequested_ = false;
    bool pitchTaken_ = false;
    // Mono Mode as last acted on (none before its first value): only a real
    // switch releases the voices.
    static constexpr int16_t kNoMonoModeYet = -32768;
    int16_t lastMonoMode_ = kNoMonoModeYet;
};
