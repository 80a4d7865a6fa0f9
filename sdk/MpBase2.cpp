#include "MpBase2.h"

MpBase2::MpBase2() : curSubProcess_(&MpBase2::subProcessPreSleep), saveSubProcess_(&MpBase2::subProcessNothing)
{
}

void MpBase2::process(int32_t sampleFrames, const gmpi::MpEvent* events)
{
    // Most blocks bring no event: the whole block in one piece, without the
    // event walk's frame.
    if (events)
    {
        processWithEvents(sampleFrames, events);
        return;
    }
    blockPosition_ = 0;
    if (sampleFrames > 0)
        (this->*curSubProcess_)(sampleFrames);
}

[[gnu::noinline]] void MpBase2::processWithEvents(int32_t sampleFrames, const gmpi::MpEvent* events)
{
    processEvents(sampleFrames, events, true,
                  [this](int /*bufferOffset*/, int count) { (this->*curSubProcess_)(count); });
}

void MpBase2::setSubProcess(SubProcess_ptr function)
{
    if (curSubProcess_ == saveSubProcess_)
        curSubProcess_ = function;
    saveSubProcess_ = function;
}

void MpBase2::setSleep(bool sleep)
{
    if (sleep)
    {
        sleepMode_ = 1;
        curSubProcess_ = &MpBase2::subProcessPreSleep;
    }
    else
    {
        sleepMode_ = 0;
    }
}

void MpBase2::OnPinStreamingChange(bool isStreaming)
{
    streamingPins_ += isStreaming ? 1 : -1;
    if (streamingPins_ != 0 && sleepMode_ != 1)
        curSubProcess_ = saveSubProcess_;
    else
        curSubProcess_ = &MpBase2::subProcessPreSleep;
}

void MpBase2::subProcessPreSleep(int sampleFrames)
{
    const int32_t savedPosition = blockPosition_;
    while (sleepMode_ == 1 || (sleepMode_ == -1 && streamingPins_ == 0))
    {
        if (sleepCount_ < 1)
        {
            if (canSleepNow_)
            {
                if (host_)
                    host_->sleep();
                blockPosition_ = savedPosition;
                return;
            }
            sleepCount_ = sampleFrames;
        }
        if (sampleFrames <= 0)
        {
            blockPosition_ = savedPosition;
            return;
        }
        const int count = sleepCount_ < sampleFrames ? sleepCount_ : sampleFrames;
        (this->*saveSubProcess_)(count);
        sleepCount_ -= count;
        sampleFrames -= count;
        blockPosition_ += count;
    }
    curSubProcess_ = saveSubProcess_;
    if (sampleFrames > 0)
        (this->*saveSubProcess_)(sampleFrames);
    blockPosition_ = savedPosition;
}
