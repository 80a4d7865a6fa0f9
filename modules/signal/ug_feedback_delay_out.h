#pragma once
// The output half of "Feedback Delay": owns "Audio Out" (written by its main
// module) and "Delay Time Out" (one block in milliseconds, in volts), and
// announces the input's state changes that the main module posts to it.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_feedback_delay;

class ug_feedback_delay_out : public ug_base
{
public:
    enum Pins
    {
        PN_UNUSED = 0,
        PN_AUDIO_OUT = 1,
        PN_DELAY_TIME_OUT = 2,
    };

    ug_feedback_delay_out();
    ~ug_feedback_delay_out() override = default;

    ug_base* Create() override { return new ug_feedback_delay_out(); }
    ug_base* Clone(CUGLookupList& lookup) override;
    void HandleEvent(KorvaneEvent* event) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void PPSetUpstream() override;
    void PPPropogateVoiceNumUp(int voice) override;

    void sub_process_static(int start, int count);

    // The block the main module copies its input into (null before Open).
    float* AudioOutBuffer() const { return audioOut_ptr_; }
    ug_feedback_delay* Partner() const { return partner_; }
    void SetPartner(ug_feedback_delay* partner) { partner_ = partner; }

private:
    float* audioOut_ptr_ = nullptr;
    float* delayTimeOut_ptr_ = nullptr;
    ug_feedback_delay* partner_ = nullptr;
    int16_t unused_ = 0;
};
