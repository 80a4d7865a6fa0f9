#include "MpPluginBase.h"

#include "MpPin.h"

MpPluginBase::MpPluginBase(gmpi::IMpUnknown* host)
{
    if (host)
        MpPluginBase::setHost(host);
}

MpPluginBase::~MpPluginBase()
{
    if (host_)
        host_->release();
}

int32_t MpPluginBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_PLUGIN)
    {
        *returnInterface = static_cast<gmpi::IMpPlugin*>(this);
        return gmpi::MP_OK;
    }
    if (iid == gmpi::MP_IID_PLUGIN2)
    {
        *returnInterface = static_cast<gmpi::IMpPlugin2*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t MpPluginBase::addRef()
{
    return ++referenceCount_;
}

int32_t MpPluginBase::release()
{
    if (--referenceCount_ == 0)
    {
        delete this;
        return 0;
    }
    return referenceCount_;
}

int32_t MpPluginBase::setHost(gmpi::IMpUnknown* host)
{
    if (!host)
        return gmpi::MP_FAIL;
    void* found = nullptr;
    const int32_t result = host->queryInterface(gmpi::MP_IID_HOST, &found);
    if (result == gmpi::MP_OK && found)
    {
        if (host_)
            host_->release();
        host_ = static_cast<gmpi::IMpHost*>(found);
    }
    return result;
}

int32_t MpPluginBase::open()
{
    return gmpi::MP_OK;
}

int32_t MpPluginBase::setBuffer(int32_t pinId, float* buffer)
{
    MpPinBase* pin = getPin(pinId);
    if (!pin)
        return gmpi::MP_FAIL;
    pin->setBuffer(buffer);
    return gmpi::MP_OK;
}

void MpPluginBase::process(int32_t count, gmpi::MpEvent* events)
{
    process(count, static_cast<const gmpi::MpEvent*>(events));
}

int32_t MpPluginBase::receiveMessageFromGui(int32_t id, int32_t size, void* messageData)
{
    if (inMessage_)
        return gmpi::MP_OK;
    inMessage_ = true;
    const int32_t result = receiveMessageFromGui(id, size, static_cast<const void*>(messageData));
    inMessage_ = false;
    return result;
}

int32_t MpPluginBase::receiveMessageFromGui(int32_t id, int32_t size, const void* messageData)
{
    if (inMessage_)
        return gmpi::MP_OK;
    inMessage_ = true;
    const int32_t result = receiveMessageFromGui(id, size, const_cast<void*>(messageData));
    inMessage_ = false;
    return result;
}

void MpPluginBase::onMidiMessage(int pin, const unsigned char* midiMessage, int size)
{
    onMidiMessage(pin, const_cast<unsigned char*>(midiMessage), size);
}

void MpPluginBase::onMidiMessage(int /*pin*/, unsigned char* /*midiMessage*/, int /*size*/)
{
}

void MpPluginBase::onSetPins()
{
}

void MpPluginBase::onGraphStart()
{
    for (auto& [id, pin] : pins_)
    {
        if (pin->getDirection() == gmpi::MP_OUT)
            pin->sendFirstUpdate();
    }
}

void MpPluginBase::initializePin(int pinId, MpPinBase& pin, MpBaseMemberPtr handler)
{
    pin.id_ = pinId;
    pin.module_ = this;
    pin.eventHandler_ = handler;
    if (!handler && pin.getDirection() == gmpi::MP_IN)
        pin.eventHandler_ = pin.getDefaultEventHandler();
    pins_.emplace(pinId, &pin);
}

MpPinBase* MpPluginBase::getPin(int pinId) const
{
    const auto it = pins_.find(pinId);
    return it == pins_.end() ? nullptr : it->second;
}

void MpPluginBase::midiHelper(const gmpi::MpEvent* event)
{
    const int size = event->parm2 > 0 ? event->parm2 : 0;
    onMidiMessage(event->parm1, static_cast<const unsigned char*>(gmpi::MpEventData(event)), size);
}

namespace
{
bool isPinEvent(const gmpi::MpEvent* event)
{
    return event->eventType >= gmpi::EVENT_PIN_SET && event->eventType <= gmpi::EVENT_MIDI;
}
} // namespace

void MpPluginBase::preProcessEvent(const gmpi::MpEvent* event)
{
    if (!isPinEvent(event))
        return;
    if (MpPinBase* pin = getPin(event->parm1))
        pin->preProcessEvent(event);
}

void MpPluginBase::processEvent(const gmpi::MpEvent* event)
{
    if (event->eventType == gmpi::EVENT_GRAPH_START)
    {
        onGraphStart();
        return;
    }
    if (!isPinEvent(event))
        return;
    if (MpPinBase* pin = getPin(event->parm1))
        pin->processEvent(event);
}

void MpPluginBase::postProcessEvent(const gmpi::MpEvent* event)
{
    if (!isPinEvent(event))
        return;
    if (MpPinBase* pin = getPin(event->parm1))
        pin->postProcessEvent(event);
}

void MpPluginBase::resetSleepCounter()
{
    int32_t blockSize = 0;
    if (host_)
        host_->getBlockSize(blockSize);
    sleepCount_ = blockSize;
}
