#pragma once
// The built-in file browser's window: a window of its own over the editor's,
// on the editor's X connection, so that whatever serves the editor (the
// host's run loop, a modal loop) serves it too. It shows a FileBrowserPanel
// and is one showing of a file selector: poll() says when the panel is done.
// The window manager's close button cancels. UI thread only.

#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/x11/FileBrowserPanel.h"
#include "editor/toolkit/x11/Pugl.h"

namespace VSTGUI {

class X11Frame;

class X11FileBrowser : public IFileChooserRun
{
public:
    X11FileBrowser(X11Frame& frame, const CNewFileSelector& selector);
    // Removes the window.
    ~X11FileBrowser() override;
    X11FileBrowser(const X11FileBrowser&) = delete;
    X11FileBrowser& operator=(const X11FileBrowser&) = delete;

    // Shows the window over the editor's, with the keyboard; false when it cannot.
    bool open();
    bool poll(std::vector<std::string>& files) override;
    // Frees the window while the connection can still be used; after this
    // nothing of it is touched again (the editor's window is going).
    void release();

    const FileBrowserPanel& panel() const { return panel_; }

private:
    static PuglStatus onEvent(PuglView* view, const PuglEvent* event);

    X11Frame& frame_;
    FileBrowserPanel panel_;
    std::string title_;
    PuglView* view_ = nullptr;
    double lastPressTime_ = -1.0;
    CPoint lastPress_;
};

} // namespace VSTGUI
