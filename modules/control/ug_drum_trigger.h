#pragma once
// "Drum Trigger": MIDI percussion notes as fifteen trigger and velocity
// output pairs (the General MIDI kit plus four drums on user-chosen notes),
// with a hi-hat decay voltage picked by which hi-hat note was played. A
// trigger rises 3 samples after its note and stays high at least 20 ms.
//
// Each drum that feeds something plays in a voice of its own in the
// container: when the graph is built the modules fed by a drum's outputs are
// numbered with the drum's voice (PPPropogateVoiceNums) and the container
// moves them into that voice; a note of the drum starts the voice through the
// container's voice list and then raises the drum's trigger, a note-off
// releases the voice and lets the trigger fall, and the voice goes to sleep
// once its sound has died away.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/graph/smart_output.h"
#include "modules/control/ug_notesource.h"

class ug_drum_trigger : public ug_notesource
{
public:
    enum Pins
    {
        PN_OPEN_HH_DECAY = 2,
        PN_PEDAL_HH_DECAY = 3,
        PN_CLOSE_HH_DECAY = 4,
        PN_KICK_TRIG = 5,
        PN_HIHAT_TRIG = 9,
        PN_HIHAT_DECAY = 11,
        PN_USER2_VEL = 31,
        PN_USER1_NOTE = 32,
        PN_USER4_NOTE = 35,
        PN_USER3_TRIG = 36,
        PN_USER4_VEL = 39,
        PN_COUNT = 40,
    };
    static constexpr int kDrumCount = 15;
    static constexpr int kNoteTableSize = 58;
    static constexpr int kUserNoteCount = 4;
    static constexpr int kTriggerDelay = 3;
    static constexpr int kMinimumTriggerMs = 20;
    static constexpr int kVelocityGlide = 4;
    // Private event: a drum's trigger rises (arg2 1) or falls (arg2 0).
    static constexpr int32_t kTriggerEvent = 10;

    // One drum: its outputs and timing.
    struct drum_output
    {
        void Set(int note, UPlug* trigger, UPlug* velocity, int blockSize);

        int32_t note_ = -1;
        // The drum's voice in the container, from 1; -1 when it feeds nothing.
        int32_t voice_ = -1;
        UPlug* triggerPin_ = nullptr;
        float* triggerBlock_ = nullptr;
        smart_output velocity_{nullptr, smart_output::CURVE_LINEAR};
        float triggerLevel_ = 0.0f;
        int64_t onTime_ = 0;
        int32_t runOut_ = 0;
    };

    ug_drum_trigger();
    ~ug_drum_trigger() override = default;

    ug_base* Create() override { return new ug_drum_trigger(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void Resume(int64_t time) override;
    void HandleEvent(KorvaneEvent* event) override;
    void sub_process(int start, int count) override;

    // Translated note 0-57 of a MIDI key, or -1 when no drum can play it.
    int TranslateNote(short key) const;
    void OnMidiData(int size, const unsigned char* bytes);
    void NoteOn(short note, short velocity, int unused);
    void NoteOff(short note, short unused);
    // Graph build: every drum whose outputs are connected gets a voice, and
    // the modules those outputs feed in this container are numbered with it.
    void PPPropogateVoiceNums() override;

    const drum_output& Drum(int index) const { return drums_[static_cast<size_t>(index)]; }
    int DrumOfNote(int note) const { return note >= 0 && note < kNoteTableSize ? noteTable_[static_cast<size_t>(note)] : -1; }
    float HiHatDecay() const { return hiHatDecay_; }
    int32_t MinimumTriggerLength() const { return minimumTriggerLength_; }

    // Output pins of each drum, in record order; the hi-hat also has its decay.
    static int TriggerPinOf(int drum);
    static int GroupSizeOf(int drum) { return TriggerPinOf(drum) == PN_HIHAT_TRIG ? 3 : 2; }
    static int VelocityPinOf(int drum) { return TriggerPinOf(drum) + 1; }

private:
    int BlockSize() const;
    void RaiseOrDrop(int drum, bool rise);

    int32_t minimumTriggerLength_ = 0;
    std::array<int16_t, kUserNoteCount> userNotes_{62, 64, 70, 37};
    float hiHatDecay_ = 0.0f;
    int32_t hiHatRunOut_ = 0;
    float* hiHatBlock_ = nullptr;
    std::array<drum_output, kDrumCount> drums_{};
    std::array<int32_t, kNoteTableSize> noteTable_{};
    std::array<float*, PN_COUNT> buffers_{};
};
