// The exported entry of a plug-in bundle built on this shell, and the module
// hooks that ModuleEntry and ModuleExit call.

#include "pluginterfaces/base/ipluginbase.h"
#include "shell/KvGuard.h"
#include "shell/ModuleEntry.h"
#include "shell/MyVstPluginFactory.h"

bool InitModule()
{
    return true;
}

bool DeinitModule()
{
    return true;
}

// The factory lives for the process: no reference is added. A factory that
// cannot be made is reported as none.
extern "C" SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory()
{
    return KvGuard::Run("GetPluginFactory", static_cast<Steinberg::IPluginFactory*>(nullptr),
                        [] { return static_cast<Steinberg::IPluginFactory*>(MyVstPluginFactory::GetInstance()); });
}
