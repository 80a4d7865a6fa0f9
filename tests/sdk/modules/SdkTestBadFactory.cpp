// Bundles whose entry is broken, chosen by KV_BAD_FACTORY: 1 hands out no
// object, 2 an object that is no factory. Built without the SDK's factory.
#include <new>

#include "mp_sdk_common.h"

namespace
{
class NotAFactory final : public gmpi::IMpUnknown
{
public:
    int32_t queryInterface(const gmpi::MpGuid& /*iid*/, void** returnInterface) override
    {
        *returnInterface = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    int32_t addRef() override { return 2; }
    int32_t release() override { return 1; }

private:
    ~NotAFactory() = default;
};
} // namespace

extern "C" __attribute__((visibility("default"))) int32_t MP_GetFactory(void** returnInterface)
{
#if KV_BAD_FACTORY == 1
    *returnInterface = nullptr;
    return gmpi::MP_OK;
#else
    // Static storage: the object lives as long as the bundle, without a destructor.
    alignas(NotAFactory) static unsigned char storage[sizeof(NotAFactory)];
    static NotAFactory* object = new (storage) NotAFactory();
    *returnInterface = object;
    return gmpi::MP_OK;
#endif
}
