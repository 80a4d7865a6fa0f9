#pragma once
// Names a resource file of the plug-in bundle (an image of a skin). The
// folder resources are read from is set once by whoever knows the bundle.

#include <string>

#include "editor/toolkit/VSTGUIFwd.h"

namespace VSTGUI {

struct CResourceDescription
{
    CResourceDescription() = default;
    CResourceDescription(UTF8StringPtr resourceName) : name(resourceName ? resourceName : "") {}

    UTF8String name;

    // UI thread; an empty folder means no resources can be found.
    static void setResourceFolder(const std::string& folder);
    static const std::string& getResourceFolder();
    // The file of a resource name, or empty for a name that leaves the
    // folder (a path separator or "..") or when no folder is set.
    static std::string pathOf(const std::string& name);
};

} // namespace VSTGUI
