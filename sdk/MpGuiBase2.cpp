#include "MpGuiBase2.h"

#include <stdexcept>

MpGuiPinBase* GuiPinOwner::getPin(int pinId) const
{
    const auto found = pins_.find(pinId);
    return found == pins_.end() ? nullptr : found->second;
}

int32_t GuiPinOwner::setPin(int32_t pinId, int32_t voice, int32_t size, const void* data)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (pin == nullptr)
        return gmpi::MP_FAIL;
    pin->set(voice, size, data);
    return gmpi::MP_OK;
}

int32_t GuiPinOwner::setPin2(int32_t pinId, int32_t voice, int32_t size, const void* data)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (pin == nullptr)
        return gmpi::MP_FAIL;
    if (pin->set(voice, size, data) && pin->getCallback())
        (*pin->getCallback())(voice);
    return gmpi::MP_OK;
}

int32_t GuiPinOwner::notifyPin(int32_t pinId, int32_t voice)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (pin == nullptr)
        return gmpi::MP_FAIL;
    if (pin->getCallback())
        (*pin->getCallback())(voice);
    return gmpi::MP_OK;
}

namespace
{
template <class I>
int32_t answer(I* face, const gmpi::MpGuid& iid, const gmpi::MpGuid& own, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    if (iid == own || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = face;
        face->addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

// The pins' first free id: one past the highest.
int nextPinId(const std::map<int, MpGuiPinBase*>& pins)
{
    return pins.empty() ? 0 : pins.rbegin()->first + 1;
}
} // namespace

int32_t MpGuiBase2::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    return answer(static_cast<gmpi::IMpUserInterface2*>(this), iid, gmpi::MP_IID_GUI_PLUGIN2, returnInterface);
}

int32_t MpGuiBase2::setHost(gmpi::IMpUnknown* host)
{
    void* face = nullptr;
    if (host == nullptr || host->queryInterface(gmpi::MP_IID_UI_HOST2, &face) != gmpi::MP_OK || face == nullptr)
        return gmpi::MP_NOSUPPORT;
    host_ = static_cast<gmpi::IMpUserInterfaceHost2*>(face);
    host_->release();
    return gmpi::MP_OK;
}

int32_t MpGuiBase2::initialize()
{
    // A callback may not add pins; walk a copy all the same.
    const auto pins = pins_;
    for (const auto& [id, pin] : pins)
        pin->NotifyIfDefault(id);
    return gmpi::MP_OK;
}

int32_t MpGuiBase2::setPin(int32_t pinId, int32_t voice, int32_t size, const void* data)
{
    return setPin2(pinId, voice, size, data);
}

int32_t MpGuiBase2::pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice)
{
    return host_ ? host_->pinTransmit(pinId, size, data, voice) : gmpi::MP_FAIL;
}

void MpGuiBase2::initializePin(int pinId, MpGuiPinBase& pin, Handler handler)
{
    pin.setup(pinId, this, handler ? new IGuiPinCallback<MpGuiBase2>(this, handler) : nullptr);
    addPin(pinId, pin);
}

void MpGuiBase2::initializePin(int pinId, MpGuiPinBase& pin, IndexedHandler handler)
{
    pin.setup(pinId, this, handler ? new IGuiPinCallbackIndexed<MpGuiBase2>(this, handler) : nullptr);
    addPin(pinId, pin);
}

void MpGuiBase2::initializePin(MpGuiPinBase& pin, Handler handler)
{
    initializePin(nextPinId(pins_), pin, handler);
}

int32_t MpGuiBase_base::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    return answer(static_cast<gmpi::IMpUserInterface*>(this), iid, gmpi::MP_IID_GUI_PLUGIN, returnInterface);
}

int32_t MpGuiBase_base::setPin(int32_t pinId, int32_t voice, int32_t size, void* data)
{
    return GuiPinOwner::setPin(pinId, voice, size, data);
}

int32_t MpGuiBase_base::notifyPin(int32_t pinId, int32_t voice)
{
    return GuiPinOwner::notifyPin(pinId, voice);
}

int32_t MpGuiBase_base::setHost(gmpi::IMpUnknown* host)
{
    void* face = nullptr;
    if (host == nullptr || host->queryInterface(gmpi::MP_IID_UI_HOST, &face) != gmpi::MP_OK || face == nullptr)
        throw std::runtime_error("host Interfaces not supported");
    host_ = static_cast<gmpi::IMpUserInterfaceHost*>(face);
    host_->release();
    return gmpi::MP_OK;
}

int32_t MpGuiBase_base::pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice)
{
    return host_ ? host_->pinTransmit(pinId, size, const_cast<void*>(data), voice) : gmpi::MP_FAIL;
}

void MpGuiBase_base::initializePin(int pinId, MpGuiPinBase& pin, Handler handler)
{
    pin.setup(pinId, this, handler ? new IGuiPinCallback<MpGuiBase_base>(this, handler) : nullptr);
    addPin(pinId, pin);
}

void MpGuiBase_base::initializePin(int pinId, MpGuiPinBase& pin, IndexedHandler handler)
{
    pin.setup(pinId, this, handler ? new IGuiPinCallbackIndexed<MpGuiBase_base>(this, handler) : nullptr);
    addPin(pinId, pin);
}
