#include "engine/sdkadapter/MpPinIterator.h"

#include "engine/graph/ug_base.h"

int32_t MpPinIterator::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_PIN_ITERATOR || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = static_cast<gmpi::IMpPinIterator*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t MpPinIterator::release()
{
    if (--references_ == 0)
    {
        delete this;
        return 0;
    }
    return references_;
}

int32_t MpPinIterator::getCount(int32_t& returnCount)
{
    returnCount = module_ ? static_cast<int32_t>(module_->plugs_.size()) : 0;
    return gmpi::MP_OK;
}

bool MpPinIterator::Valid() const
{
    return module_ && position_ >= 0 && position_ < static_cast<int>(module_->plugs_.size());
}

int32_t MpPinIterator::first()
{
    position_ = 0;
    return Valid() ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t MpPinIterator::next()
{
    if (position_ < 0)
        return gmpi::MP_FAIL;
    ++position_;
    return Valid() ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t MpPinIterator::getPinId(int32_t& returnValue)
{
    if (!Valid())
        return gmpi::MP_FAIL;
    returnValue = module_->plugs_[position_]->id_;
    return gmpi::MP_OK;
}

int32_t MpPinIterator::getPinDirection(int32_t& returnValue)
{
    if (!Valid())
        return gmpi::MP_FAIL;
    returnValue = module_->plugs_[position_]->direction_;
    return gmpi::MP_OK;
}

int32_t MpPinIterator::getPinDatatype(int32_t& returnValue)
{
    if (!Valid())
        return gmpi::MP_FAIL;
    returnValue = module_->plugs_[position_]->datatype_;
    return gmpi::MP_OK;
}
