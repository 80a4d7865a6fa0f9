#pragma once
// The factory a module bundle hands out from its "MP_GetFactory" entry. Each
// module of the bundle registers its constructors from a static initializer:
//
//   namespace {
//   gmpi::IMpUnknown* createGain() { return static_cast<gmpi::IMpPlugin2*>(new Gain()); }
//   const int32_t registered = gmpi_sdk::MpFactory::Instance()->RegisterPlugin(
//       gmpi::MP_SUB_TYPE_AUDIO, L"My Gain", &createGain);
//   }
//
// Constructors that take no host answer the newer factory (MP_IID_FACTORY2);
// constructors that take their host at creation answer the older one
// (MP_IID_FACTORY). Registration happens while the bundle loads; creation on
// the host's graph-building thread.

#include <map>
#include <string>
#include <utility>

#include "mp_sdk_common.h"

namespace gmpi_sdk
{

class MpFactory final : public gmpi::IMpFactory, public gmpi::IMpFactory2
{
public:
    using Constructor = gmpi::IMpUnknown* (*)();
    using HostConstructor = gmpi::IMpUnknown* (*)(gmpi::IMpUnknown* host);

    // The bundle's one factory; it lives as long as the bundle is loaded
    // (made on first use, so registration initializers may run in any order).
    static MpFactory* Instance();

    // 0, or -1 for a null id or constructor or a (subtype, id) already taken (the first stays).
    int32_t RegisterPlugin(int32_t subType, const wchar_t* uniqueId, Constructor constructor);
    int32_t RegisterPluginWithHost(int32_t subType, const wchar_t* uniqueId, HostConstructor constructor);

    // gmpi::IMpUnknown: MP_IID_FACTORY, MP_IID_FACTORY2 and MP_IID_UNKNOWN, each adding a reference.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override;
    int32_t release() override;

    // gmpi::IMpFactory: an instance of a module registered with a host constructor.
    int32_t createInstance(const wchar_t* uniqueId, int32_t subType, gmpi::IMpUnknown* host,
                           void** returnInterface) override;
    // gmpi::IMpFactory2: an instance of a module registered without one.
    int32_t createInstance2(const wchar_t* uniqueId, int32_t subType, void** returnInterface) override;

private:
    MpFactory() = default;
    ~MpFactory() = default;
    using Key = std::pair<int32_t, std::wstring>;

    std::map<Key, Constructor> constructors_;
    std::map<Key, HostConstructor> hostConstructors_;
    int32_t references_ = 1;
};

} // namespace gmpi_sdk

// The bundle's exported entry: fills *returnInterface with the factory.
extern "C" __attribute__((visibility("default"))) int32_t MP_GetFactory(void** returnInterface);
