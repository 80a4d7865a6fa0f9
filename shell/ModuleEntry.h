#pragma once
// The entry points that a Linux VST3 host calls around GetPluginFactory.
// Entries nest: the first ModuleEntry runs InitModule, the matching last
// ModuleExit runs DeinitModule. bundleEntry and bundleExit are the same
// pair under their macOS names, for hosts that call those.

#include "pluginterfaces/base/fplatform.h"

// Defined by the plug-in (its factory unit): set-up and tear-down of the
// module. A false from InitModule makes ModuleEntry fail.
bool InitModule();
bool DeinitModule();

// The library handle the host passed to the outermost ModuleEntry, or null.
void* ModuleHandle();

extern "C"
{
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle);
SMTG_EXPORT_SYMBOL bool ModuleExit();
SMTG_EXPORT_SYMBOL bool bundleEntry(void* bundleRef);
SMTG_EXPORT_SYMBOL bool bundleExit();
}
