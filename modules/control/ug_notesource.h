#pragma once
// Base of the modules that turn notes into the signals of a voice. Holds the
// settings that decide how the enclosing container allocates voices (mono or
// polyphonic, stealing, retrigger, note priority, glide kind) and composes
// the allocation word the container's voice list reads from them.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_notesource : public ug_base
{
public:
    enum Pins
    {
        PN_MIDI_IN = 0,
        PN_CHANNEL = 1,
    };
    // Bits of the allocation word.
    enum ModeWord : int32_t
    {
        VAM_SOFT_STEAL = 0,
        VAM_HARD_STEAL = 1,
        VAM_OVERLAP = 2,
        VAM_MONO = 4,
        VAM_MONO_RETRIGGER = 5,
        VAM_PRIORITY_SHIFT = 8,
        VAM_CONSTANT_RATE_GLIDE = 0x40000,
    };
    static constexpr int16_t kContainerMode = -1;
    static constexpr int32_t kLastNotePriority = 3;

    ug_notesource();
    ~ug_notesource() override = default;

    ug_base* Create() override { return new ug_notesource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    virtual void sub_process(int /*start*/, int /*count*/) {}
    virtual void PolyphonicSetup() {}
    virtual void OnChangeChannel() {}
    virtual void OnChangeBank(int /*bank*/, int /*program*/) {}

    // The word this note source asks for, with the constant-rate glide bit.
    int32_t getVoiceAllocationMode();
    // Writes the override word (never with the glide bit) into the container.
    void updateVoiceAllocationMode();
    // The override word as composed from the settings; -1 leaves the container's own.
    int32_t OverrideWord() const;

    int16_t monoMode_ = 0;
    int16_t retrigger_ = 0;
    int16_t monoNotePriority_ = 0;
    int16_t polyphonyMode_ = 1;
    int16_t channel_ = -1;
    int32_t lastChannel_ = -1;
    int16_t portamentoRate_ = 0;
    int16_t autoGlide_ = 0;

protected:
    bool IsCloneOfAnother() { return CloneOf() != this; }
};
