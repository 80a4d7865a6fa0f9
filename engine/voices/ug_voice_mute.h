#pragma once
// Placed where a voice's audio leaves the polyphonic section: passes the
// signal while its voice plays and fades it to silence over a short ramp
// when the voice is muted (stolen or killed) or off, so that stealing a
// voice does not click. A change of the voice takes effect at the sample of
// the note that made it, whatever piece of the block the change is made in.
// While it passes a streaming input at full gain, its readers take the
// input's block directly and the mute leaves the block loop until its voice,
// its input or a pin changes.

#include "engine/graph/ug_base.h"

class Voice;

class ug_voice_mute : public ug_base
{
public:
    enum Pins { PN_IN, PN_RAMP_TIME, PN_OUT, PN_ALWAYS_ON };

    ug_voice_mute();
    ug_base* Create() override { return new ug_voice_mute(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    // A voice put to sleep leaves silence behind, announced as a constant,
    // so that the voice sum stops reading its block.
    void Suspend() override;
    // A voice woken for a new note stays silent until the note's sample,
    // although it runs from the start of the piece.
    void Resume(int64_t time) override;

    void process(int blockPosition, int sampleFrames);
    void process_silent(int blockPosition, int sampleFrames);

    float Gain() const { return gain_; }
    // The voice's state or active value changed, as from sample `time`
    // (audio thread).
    void VoiceChanged(int64_t time);
    void HandleEvent(KorvaneEvent* event) override;
    // The readers take the input's block (the mute is out of the loop).
    bool Bypassed() const { return bypassed_; }

private:
    float TargetGain();
    void AnnounceOutput(int64_t time, bool streaming);
    void StartNote();
    void Bypass(bool on);

    float* in_ = nullptr;
    float* out_ = nullptr;
    // The voice this copy belongs to, found when opened: voices live as long
    // as the graph and keep their numbers. A mute opened before its voice was
    // made looks the voice up on each block instead, and never leaves the
    // loop, since no voice would tell it of a change.
    Voice* voice_ = nullptr;
    float rampMs_ = 2.0f;
    bool alwaysOn_ = false;
    float gain_ = 1.0f;
    // The gain the voice asks for as of the mute's clock, and as of the
    // latest change told (which may lie ahead, in a pending event).
    float target_ = 1.0f;
    float told_ = 1.0f;
    float step_ = 1.0f;
    bool inputStreaming_ = false;
    bool outputStreaming_ = false;
    // The output's state has been announced at least once since opening.
    bool announced_ = false;
    bool bypassed_ = false;
};
