#include "engine/sdkadapter/Sdk3CloneIterator.h"

#include "engine/sdkadapter/ug_plugin3Base.h"

int32_t Sdk3CloneIterator::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_CLONE_ITERATOR || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = static_cast<gmpi::IMpCloneIterator*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t Sdk3CloneIterator::release()
{
    if (--references_ == 0)
    {
        delete this;
        return 0;
    }
    return references_;
}

int32_t Sdk3CloneIterator::first()
{
    current_ = first_;
    return current_ ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t Sdk3CloneIterator::next(void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (!current_)
        return gmpi::MP_FAIL;
    if (auto* adapter = dynamic_cast<ug_plugin3Base*>(current_))
        *returnInterface = adapter->GetGmpiPlugin();
    current_ = current_->nextClone_;
    return gmpi::MP_OK;
}
