#pragma once
// engine/hostio/: where the host's audio and MIDI enter and leave the graph:
// the input module, the output module with its gain and MIDI ring.
// Threads: the audio thread; the processor reads the MIDI ring after each block.
//
// Brings the host's input channels into the graph as streaming audio outputs,
// one per "Audio" pin, and is the point where host MIDI enters the graph.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_vst_in : public ug_base
{
public:
    enum Pins { PN_MIDI_OUT, PN_AUDIO };

    ug_base* Create() override { return new ug_vst_in(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    // Audio pin k reads inputs[k]. Pins beyond the host's channels, or whose
    // channel is null, read silence.
    void setInputs(float** inputs, int count, int extra);
    void setStride(int stride) { stride_ = stride < 0 ? 0 : stride; }
    int AudioPinCount() const { return static_cast<int>(plugs_.size()) - 1; }

    void process_copy(int blockPosition, int sampleFrames);

private:
    std::vector<const float*> readPointers_;
    std::vector<uint8_t> fromHost_;
    std::vector<float*> blocks_;
    int stride_ = 1;
    int extra_ = 0;
};
