#include "editor/toolkit/CResourceDescription.h"

namespace VSTGUI {

namespace {
std::string& folder()
{
    static std::string path;
    return path;
}
} // namespace

void CResourceDescription::setResourceFolder(const std::string& path)
{
    folder() = path;
}

const std::string& CResourceDescription::getResourceFolder()
{
    return folder();
}

std::string CResourceDescription::pathOf(const std::string& name)
{
    if (folder().empty() || name.empty() || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos || name == "." || name == "..")
        return {};
    return folder() + "/" + name;
}

} // namespace VSTGUI
