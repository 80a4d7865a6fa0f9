#pragma once
// Base of the feedback delays for values carried by events (MIDI, float,
// int). The input side re-posts every pin value and MIDI event to its helper
// one block later; the helper sends it out. Neither side processes samples.

#include <cstdint>

#include "engine/graph/ug_base.h"

class ug_feedback_delay_base : public ug_base
{
public:
    enum Pins
    {
        PN_IN = 0,
        PN_OUT = 1,
    };

    ug_feedback_delay_base();
    ~ug_feedback_delay_base() override = default;

    ug_base* Create() override = 0;
    ug_base* Clone(CUGLookupList& lookup) override;
    void HandleEvent(KorvaneEvent* event) override;
    int Open() override;
    void PPSetUpstream() override;
    void PPPropogateVoiceNumUp(int voice) override;

    ug_feedback_delay_base* Partner() const { return partner_; }
    bool InputSide() const { return inputSide_; }

protected:
    // Adds the helper to this module's container, sets it up and pairs the two.
    void SetupHelper(ug_feedback_delay_base* helper);
    // Builds the helper made by the subclass, once.
    void BuildHelperOnce(ug_feedback_delay_base* (*make)());

private:
    bool IsMidi() const;

    ug_feedback_delay_base* partner_ = nullptr;
    bool inputSide_ = true;
};
