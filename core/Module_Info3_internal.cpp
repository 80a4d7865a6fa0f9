#include "core/Module_Info3_internal.h"

#include "core/mp_interfaces.h"



Module_Info3_internal::Module_Info3_internal(const std::wstring& id) : Module_Info3_base(id)
{
}

int32_t Module_Info3_internal::RegisterPluginConstructor(int subtype, Constructor constructor)
{
    if (!constructor)
        return -1;
    return constructors_.emplace(subtype, constructor).second ? 0 : -1;
}

int32_t Module_Info3_internal::RegisterPluginConstructor(DspConstructor constructor)
{
    if (!constructor)
        return -1;
    if (!dspConstructor_)
        dspConstructor_ = constructor;
    hasDsp_ = true;
    dllAvailable_ = true;
    return 0;
}

int32_t Module_Info3_internal::RegisterPluginConstructor(GuiConstructor constructor)
{
    if (!constructor)
        return -1;
    if (!guiConstructor_)
        guiConstructor_ = constructor;
    hasGui_ = true;
    dllAvailable_ = true;
    return 0;
}

gmpi::IMpUnknown* Module_Info3_internal::Build(int subtype, bool /*quiet*/)
{
    const auto it = constructors_.find(subtype);
    return it == constructors_.end() ? nullptr : it->second();
}

ug_base* Module_Info3_internal::BuildSynthOb()
{
    return WrapPlugin2(Build(0, false));
}
