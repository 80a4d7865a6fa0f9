#include "core/MpString.h"

namespace gmpi_sdk
{

int32_t MpString::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;

    if (iid == gmpi::MP_IID_RETURNSTRING || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = static_cast<gmpi::IMpReturnString*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t MpString::setData(const char* data, int32_t size)
{
    if (data && size > 0)
        text_.assign(data, static_cast<size_t>(size));
    else
        text_.clear();
    return gmpi::MP_OK;
}

} // namespace gmpi_sdk
