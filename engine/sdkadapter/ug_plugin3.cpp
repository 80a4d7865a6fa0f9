#include "engine/sdkadapter/ug_plugin3.h"

#include "core/Module_Info3_base.h"
#include "engine/graph/EngineModules.h"

template class ug_plugin3<gmpi::IMpPlugin2>;
template class ug_plugin3<gmpi::IMpPlugin>;

namespace
{
template <class Adapter>
Adapter* NewAdapter(Module_Info3_base* moduleType)
{
    auto* unit = new Adapter();
    unit->moduleType = moduleType;
    if (moduleType)
        unit->flags_ = moduleType->GetDspFlags();
    return unit;
}

ug_base* WrapPlugin2(gmpi::IMpPlugin2* plugin, Module_Info3_base* moduleType)
{
    if (!plugin)
        return nullptr;
    auto* unit = NewAdapter<ug_plugin3<gmpi::IMpPlugin2>>(moduleType);
    unit->SetPlugin(plugin);
    // The module keeps the adapter as its host; what the module answers is its own affair.
    try
    {
        plugin->setHost(static_cast<gmpi::IMpHost*>(unit));
    }
    catch (...)
    {
        delete unit;
        return nullptr;
    }
    return unit;
}

ug_base* NewPlugin1Unit(Module_Info3_base* moduleType, gmpi::IMpUnknown** host)
{
    auto* unit = NewAdapter<ug_plugin3<gmpi::IMpPlugin>>(moduleType);
    if (host)
        *host = static_cast<gmpi::IMpHost*>(unit);
    return unit;
}

void AttachPlugin1(ug_base* unit, gmpi::IMpPlugin* plugin)
{
    if (auto* adapter = dynamic_cast<ug_plugin3<gmpi::IMpPlugin>*>(unit))
        adapter->SetPlugin(plugin);
    else if (plugin)
        plugin->release();
}

void DestroyUnit(ug_base* unit)
{
    delete unit;
}

constexpr SdkUnitAdapter kAdapter{&WrapPlugin2, &NewPlugin1Unit, &AttachPlugin1, &DestroyUnit};
} // namespace

void RegisterSdkModuleAdapter()
{
    Module_Info3_base::SetUnitAdapter(&kAdapter);
}
