#include "editor/BuiltInGuiModules.h"

#include <cstdint>

extern const int32_t kvPatchAutomatorRegistered;
extern const int32_t kvContainerRegistered;

void EnsureBuiltInGuiModules()
{
    // Reading the registration results ties their units to this one.
    static volatile int32_t results = kvPatchAutomatorRegistered + kvContainerRegistered;
    (void)results;
}
