#pragma once
// Shows a file selector the first way that works here: the desktop portal's
// file chooser over D-Bus where a portal runs (PortalFileChooser); else the
// desktop's dialog program, zenity when it is on the PATH, else kdialog, as
// a child process given its arguments one by one (no shell), watched without
// blocking (DialogProcess); else the toolkit's own file browser in a window
// next to the selector's frame. Nothing of these, a failed start or a
// non-zero exit is "cancelled", with a log line for the first two.

#include <string>
#include <vector>

#include "editor/toolkit/CNewFileSelector.h"

namespace VSTGUI {

class DesktopFileChooser : public IFileChooser
{
public:
    std::unique_ptr<IFileChooserRun> start(const CNewFileSelector& selector) override;

    // The arguments (program first) for zenity or kdialog; exposed for tests.
    static std::vector<std::string> zenityArguments(const CNewFileSelector& selector, const std::string& program);
    static std::vector<std::string> kdialogArguments(const CNewFileSelector& selector, const std::string& program);
    // The program's full path on PATH, or empty.
    static std::string findOnPath(const std::string& name);
};

} // namespace VSTGUI
