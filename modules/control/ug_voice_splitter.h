#pragma once
// "VoiceSplitter": hands each voice of a polyphonic container to an output
// of its own. The clone for voice k copies its input to output k; a clone
// whose voice has no output writes nothing.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_voice_splitter : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT = 0,
        PN_FIRST_OUTPUT = 1,
    };

    ug_voice_splitter();
    ug_base* Create() override { return new ug_voice_splitter(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;

    void sub_process(int start, int count);
    void sub_process_static(int start, int count);

    // The output this clone writes (-1 none) and how many there are.
    int SelectedOutput() const { return outputIndex_; }
    int OutputCount() const { return outputCount_; }

private:
    int outputIndex_ = -1;
    int pinIndex_ = -1;
    UPlug* output_ = nullptr;
    float* outputBuffer_ = nullptr;
    float* input_ = nullptr;
    int outputCount_ = 0;
};
