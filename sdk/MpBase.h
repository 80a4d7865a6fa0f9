#pragma once
// The older block-processing base: the module's sub-process takes the offset
// into its buffers and a sample count. The block is cut at event times, and a
// module whose inputs have stopped runs on for its sleep count, then asks the
// host to let it sleep. Audio thread.

#include "MpPluginBase.h"

class MpBase : public MpPluginBase
{
public:
    using SubProcess_ptr = void (MpBase::*)(int bufferOffset, int sampleFrames);

    explicit MpBase(gmpi::IMpUnknown* host = nullptr);

    void process(int32_t sampleFrames, const gmpi::MpEvent* events) override;
    void OnPinStreamingChange(bool isStreaming) override;

    // The module's own sub-process; the current one follows unless it is the
    // pre-sleep wrapper.
    void setSubProcess(SubProcess_ptr function);
    template <class Module>
    void setSubProcess(void (Module::*function)(int, int))
    {
        setSubProcess(static_cast<SubProcess_ptr>(function));
    }
    // true: the module may sleep as soon as its count runs out; false: never.
    void setSleep(bool sleep);

    void subProcessPreSleep(int bufferOffset, int sampleFrames);
    void subProcessNothing(int /*bufferOffset*/, int /*sampleFrames*/) {}

protected:
    SubProcess_ptr curSubProcess_;
    SubProcess_ptr saveSubProcess_;
};
