#include "MpBase.h"

MpBase::MpBase(gmpi::IMpUnknown* host)
    : MpPluginBase(host), curSubProcess_(&MpBase::subProcessPreSleep), saveSubProcess_(&MpBase::subProcessNothing)
{
}

void MpBase::process(int32_t sampleFrames, const gmpi::MpEvent* events)
{
    processEvents(sampleFrames, events, false,
                  [this](int bufferOffset, int count) { (this->*curSubProcess_)(bufferOffset, count); });
}

void MpBase::setSubProcess(SubProcess_ptr function)
{
    if (curSubProcess_ == saveSubProcess_)
        curSubProcess_ = function;
    saveSubProcess_ = function;
}

void MpBase::setSleep(bool sleep)
{
    if (sleep)
    {
        sleepMode_ = 1;
        curSubProcess_ = &MpBase::subProcessPreSleep;
    }
    else
    {
        sleepMode_ = 0;
    }
}

void MpBase::OnPinStreamingChange(bool isStreaming)
{
    streamingPins_ += isStreaming ? 1 : -1;
    if (streamingPins_ != 0 && sleepMode_ != 1)
        curSubProcess_ = saveSubProcess_;
    else
        curSubProcess_ = &MpBase::subProcessPreSleep;
}

void MpBase::subProcessPreSleep(int bufferOffset, int sampleFrames)
{
    while (sleepMode_ == 1 || (sleepMode_ == -1 && streamingPins_ == 0))
    {
        if (sleepCount_ < 1)
        {
            if (canSleepNow_)
            {
                if (host_)
                    host_->sleep();
                return;
            }
            sleepCount_ = sampleFrames;
        }
        if (sampleFrames <= 0)
            return;
        const int count = sleepCount_ < sampleFrames ? sleepCount_ : sampleFrames;
        (this->*saveSubProcess_)(bufferOffset, count);
        sleepCount_ -= count;
        sampleFrames -= count;
        bufferOffset += count;
    }
    curSubProcess_ = saveSubProcess_;
    if (sampleFrames > 0)
        (this->*saveSubProcess_)(bufferOffset, sampleFrames);
}
