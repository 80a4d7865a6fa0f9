#pragma once
// The desktop portal's file chooser (org.freedesktop.portal.FileChooser on
// the session bus), for a file selector: asked over a D-Bus connection of
// its own, its answer (the Request's Response signal) taken up by poll()
// without blocking. Used only where a session bus is named (or at
// $XDG_RUNTIME_DIR/bus) and a portal that serves file choosers is running
// there. UI thread only.

#include <memory>

#include "editor/toolkit/CNewFileSelector.h"

namespace VSTGUI {

class PortalFileChooser
{
public:
    // The portal's dialog, opened; null when there is no session bus or no
    // running portal with a file chooser (with a log line when it failed).
    // parentWindow is the X11 window the dialog belongs to (0 for none).
    static std::unique_ptr<IFileChooserRun> start(const CNewFileSelector& selector, unsigned long parentWindow);

    // How long the check for a running portal may wait for its answer.
    static constexpr int kProbeMilliseconds = 1000;
};

} // namespace VSTGUI
