#include "editor/PinIteratorGuiVst3.h"

#include "editor/GuiModuleWrapper.h"

int32_t PinIteratorGuiVst3::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_PIN_ITERATOR || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = this;
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t PinIteratorGuiVst3::release()
{
    const int32_t count = --refCount_;
    if (count == 0)
        delete this;
    return count;
}

int32_t PinIteratorGuiVst3::getCount(int32_t& returnCount)
{
    returnCount = wrapper_->GetPinCount();
    return gmpi::MP_OK;
}

int32_t PinIteratorGuiVst3::first()
{
    index_ = 0;
    return wrapper_->GetPinCount() > 0 ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t PinIteratorGuiVst3::next()
{
    ++index_;
    return index_ < wrapper_->GetPinCount() ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t PinIteratorGuiVst3::getPinId(int32_t& returnValue)
{
    returnValue = wrapper_->GetPinIdByIndex(index_);
    return gmpi::MP_OK;
}

int32_t PinIteratorGuiVst3::getPinDirection(int32_t& returnValue)
{
    returnValue = wrapper_->GetPinDirection(wrapper_->GetPinIdByIndex(index_));
    return gmpi::MP_OK;
}

int32_t PinIteratorGuiVst3::getPinDatatype(int32_t& returnValue)
{
    returnValue = wrapper_->GetPinDatatype(wrapper_->GetPinIdByIndex(index_));
    return gmpi::MP_OK;
}
