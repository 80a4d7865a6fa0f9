#include "MpFactory.h"

namespace gmpi_sdk
{

MpFactory* MpFactory::Instance()
{
    // Lives as long as the bundle's code is loaded.
    static MpFactory factory;
    return &factory;
}

int32_t MpFactory::RegisterPlugin(int32_t subType, const wchar_t* uniqueId, Constructor constructor)
{
    if (!uniqueId || !constructor)
        return gmpi::MP_FAIL;
    return constructors_.emplace(Key(subType, uniqueId), constructor).second ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t MpFactory::RegisterPluginWithHost(int32_t subType, const wchar_t* uniqueId, HostConstructor constructor)
{
    if (!uniqueId || !constructor)
        return gmpi::MP_FAIL;
    return hostConstructors_.emplace(Key(subType, uniqueId), constructor).second ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t MpFactory::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_FACTORY2)
        *returnInterface = static_cast<gmpi::IMpFactory2*>(this);
    else if (iid == gmpi::MP_IID_FACTORY || iid == gmpi::MP_IID_UNKNOWN)
        *returnInterface = static_cast<gmpi::IMpFactory*>(this);
    else
    {
        *returnInterface = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    addRef();
    return gmpi::MP_OK;
}

int32_t MpFactory::addRef()
{
    return ++references_;
}

int32_t MpFactory::release()
{
    // The factory is static: counting only reports, it never deletes.
    return references_ > 1 ? --references_ : 1;
}

int32_t MpFactory::createInstance(const wchar_t* uniqueId, int32_t subType, gmpi::IMpUnknown* host,
                                  void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (!uniqueId)
        return gmpi::MP_FAIL;
    const auto it = hostConstructors_.find(Key(subType, uniqueId));
    if (it == hostConstructors_.end())
        return gmpi::MP_FAIL;
    *returnInterface = it->second(host);
    return *returnInterface ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t MpFactory::createInstance2(const wchar_t* uniqueId, int32_t subType, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (!uniqueId)
        return gmpi::MP_FAIL;
    const auto it = constructors_.find(Key(subType, uniqueId));
    if (it == constructors_.end())
        return gmpi::MP_FAIL;
    *returnInterface = it->second();
    return *returnInterface ? gmpi::MP_OK : gmpi::MP_FAIL;
}

} // namespace gmpi_sdk

extern "C" int32_t MP_GetFactory(void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    gmpi_sdk::MpFactory* factory = gmpi_sdk::MpFactory::Instance();
    factory->addRef();
    *returnInterface = static_cast<gmpi::IMpFactory*>(factory);
    return gmpi::MP_OK;
}
