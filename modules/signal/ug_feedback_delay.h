#pragma once
// "Feedback Delay": carries audio back to an earlier point of a patch. The
// module owns the input; a helper made at graph build owns the outputs, with
// no connection between the two, so a loop through the pair is no loop for
// the sort order. The input is copied into the helper's output block, which
// its readers (sorted ahead of this module) see one block later.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_midi_device.h"

class ug_feedback_delay_out;

class ug_feedback_delay : public ug_midi_device
{
public:
    enum Pins
    {
        PN_AUDIO_IN = 0,
        PN_AUDIO_OUT = 1,
        PN_DELAY_TIME_OUT = 2,
    };

    ug_feedback_delay() = default;
    ~ug_feedback_delay() override = default;

    ug_base* Create() override { return new ug_feedback_delay(); }
    ug_base* Clone(CUGLookupList& lookup) override;
    void BuildHelperModule() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    bool PPSetDownstream() override;
    void PPPropogateVoiceNum(int voice) override;

    void sub_process(int start, int count);
    void sub_process_static(int start, int count);

    ug_feedback_delay_out* Partner() const { return partner_; }
    void SetPartner(ug_feedback_delay_out* partner) { partner_ = partner; }

private:
    void CopyToPartner(int start, int count);
    void PostStateToPartner(int64_t time, state_type state);

    ug_feedback_delay_out* partner_ = nullptr;
    float* audioIn_ptr_ = nullptr;
    float* audioOut_ptr_ = nullptr;
    float* delayTimeOut_ptr_ = nullptr;
    float lastStaticValue_ = -123456.0f;
    int32_t lastState_ = ST_STOPPED;
};
