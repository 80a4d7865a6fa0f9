#include "MpPin.h"

void MpPinBase::processEvent(const gmpi::MpEvent* event)
{
    if (eventHandler_ && module_)
        (module_->*eventHandler_)(event);
}

int32_t MpPinBase::resolvePosition(int32_t blockPosition) const
{
    if (blockPosition == -1 && module_)
        return module_->getBlockPosition();
    return blockPosition;
}

void MpPinBase::sendPinUpdate(int32_t size, const void* data, int32_t blockPosition)
{
    gmpi::IMpHost* host = module_ ? module_->getHost() : nullptr;
    if (host)
        host->setPin(resolvePosition(blockPosition), id_, size, data);
}

float MpAudioPinBase::getValue(int index) const
{
    if (!buffer_)
        return 0.0f;
    if (index < 0)
        index = module_ ? module_->getBlockPosition() : 0;
    return buffer_[index];
}

void AudioInPin::preProcessEvent(const gmpi::MpEvent* event)
{
    if (event->eventType != gmpi::EVENT_PIN_STREAMING_START && event->eventType != gmpi::EVENT_PIN_STREAMING_STOP)
        return;
    streamingChanged_ = true;
    const bool streaming = event->eventType == gmpi::EVENT_PIN_STREAMING_START;
    if (streaming != isStreaming_)
    {
        isStreaming_ = streaming;
        if (module_)
            module_->OnPinStreamingChange(isStreaming_);
    }
}

void AudioInPin::postProcessEvent(const gmpi::MpEvent* event)
{
    if (event->eventType == gmpi::EVENT_PIN_STREAMING_START || event->eventType == gmpi::EVENT_PIN_STREAMING_STOP)
        streamingChanged_ = false;
}

void AudioOutPin::setStreaming(bool isStreaming, int blockPosition)
{
    if (!module_)
        return;
    blockPosition = resolvePosition(blockPosition);
    if (isStreaming != isStreaming_)
    {
        isStreaming_ = isStreaming;
        module_->OnPinStreamingChange(isStreaming_);
    }
    if (!isStreaming_)
        module_->resetSleepCounter();
    if (gmpi::IMpHost* host = module_->getHost())
        host->setPinStreaming(blockPosition, id_, isStreaming_ ? 1 : 0);
}

void AudioOutPin::sendFirstUpdate()
{
    gmpi::IMpHost* host = module_ ? module_->getHost() : nullptr;
    if (host)
        host->setPinStreaming(module_->getBlockPosition(), id_, isStreaming_ ? 1 : 0);
}

void MidiOutPin::send(const unsigned char* data, int size, int blockPosition)
{
    sendPinUpdate(size, data, blockPosition);
}
