#pragma once
// Watches the audio that leaves one voice. When the voice has been released
// and every watched output has stopped streaming, it asks for the voice to be
// muted and, more than a block after its outputs stopped, suspended, so that
// the voice is free for a new note and costs nothing meanwhile. Both happen
// at an end of the engine's blocks and are counted from the sample where the
// outputs stopped, not from where the host cut its blocks; the container's
// parameter setter, which runs before the voice's modules, carries them out,
// so that they take effect at that very sample.

#include <cstdint>

#include "engine/graph/ug_adder2.h"

class Voice;

class ug_voice_monitor : public ug_adder2
{
public:
    enum MonitorState
    {
        MS_WATCHING = 0,
        MS_DEACTIVATING = 1,
        MS_SUSPENDING = 2,
    };

    ug_voice_monitor() = default;
    ug_base* Create() override { return new ug_voice_monitor(); }
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;
    void DoProcess(int blockPosition, int sampleFrames) override;

    int State() const { return state_; }
    bool InputsStreaming() const { return inputsStreaming_ != 0; }

private:
    Voice* WatchedVoice();

    // The module that carries out the requests (this one when the container
    // has no parameter setter).
    ug_base* eventTarget_ = nullptr;
    // The sample from which no input has streamed.
    int64_t silentSince_ = 0;
    int inputsStreaming_ = 2;
    int state_ = MS_WATCHING;
    int64_t savedReleaseTime_ = 0;
};
