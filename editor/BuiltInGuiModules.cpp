#include "editor/BuiltInGuiModules.h"

#include <cstdint>

extern const int32_t kvPatchAutomatorRegistered;
extern const int32_t kvContainerRegistered;
extern const int32_t kvImageRegistered;
extern const int32_t kvImageTintedRegistered;
extern const int32_t kvListEntryRegistered;
extern const int32_t kvComboRegistered;
extern const int32_t kvPopupMenuRegistered;
extern const int32_t kvTextEntryRegistered;
extern const int32_t kvTextEntryGuiRegistered;

void EnsureBuiltInGuiModules()
{
    // Reading the registration results ties their units to this one.
    static volatile int32_t results = kvPatchAutomatorRegistered + kvContainerRegistered + kvImageRegistered +
                                     kvImageTintedRegistered + kvListEntryRegistered + kvComboRegistered +
                                     kvPopupMenuRegistered + kvTextEntryRegistered + kvTextEntryGuiRegistered;
    (void)results;
}
