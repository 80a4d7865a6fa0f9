#pragma once
// The block-processing base: the module's sub-process takes a sample count and
// reads its offset from the block position, which the base moves along. The
// block is cut at event times, and a module whose inputs have stopped runs on
// for its sleep count, then asks the host to let it sleep. Audio thread.

#include "MpPluginBase.h"

class MpBase2 : public MpPluginBase
{
public:
    using SubProcess_ptr = void (MpBase2::*)(int sampleFrames);

    MpBase2();

    void process(int32_t sampleFrames, const gmpi::MpEvent* events) override;
    void OnPinStreamingChange(bool isStreaming) override;

    // The module's own sub-process; the current one follows unless it is the
    // pre-sleep wrapper.
    void setSubProcess(SubProcess_ptr function);
    template <class Module>
    void setSubProcess(void (Module::*function)(int))
    {
        setSubProcess(static_cast<SubProcess_ptr>(function));
    }
    // true: the module may sleep as soon as its count runs out; false: never.
    void setSleep(bool sleep);

    void subProcessPreSleep(int sampleFrames);
    void subProcessNothing(int /*sampleFrames*/) {}

protected:
    // A block with events, cut at their times.
    void processWithEvents(int32_t sampleFrames, const gmpi::MpEvent* events);

    SubProcess_ptr curSubProcess_;
    SubProcess_ptr saveSubProcess_;
};
