#pragma once
// The window a frame is shown in. The toolkit draws and decides; the
// platform layer (X11) owns the window, turns its events into calls on the
// frame's callback, and hosts the pop-ups. All calls on the UI thread.

#include <functional>
#include <memory>
#include <string>

#include "editor/toolkit/CButtonState.h"
#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class COptionMenuPopup;
class CNewFileSelector;
class IFileChooserRun;

enum class PlatformType
{
    kDefaultNative,
    kX11EmbedWindowID, // parent is an X11 Window id
};

// Implemented by the frame; the platform calls it.
class IPlatformFrameCallback
{
public:
    virtual ~IPlatformFrameCallback() = default;
    // Draws rect (frame coordinates) with context, which covers the window.
    virtual void platformDrawRect(CDrawContext* context, const CRect& rect) = 0;
    // Points in frame coordinates; buttons and modifiers as CButtonState bits.
    virtual CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) = 0;
    virtual CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) = 0;
    virtual CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) = 0;
    // The tooltip of the view under where, when tooltips are enabled.
    virtual bool platformGetTooltipText(const CPoint& where, std::string& text) = 0;
    // The window's repaint timer fired (about every 16 ms while the window
    // is served): periodic work of the editor, before what is dirty is drawn.
    virtual void platformOnTimer() {}
    // The window's repaint timer ticked: work that waits on the editor
    // without blocking it (a file dialog that is open) looks whether it is
    // over. It may close the frame, so the platform calls it last.
    virtual void platformOnIdle() {}
    // The host's loop calls into the window (its events, its timer): the
    // frame and its editor stay alive until the matching platformLeave, and
    // what closing them frees meanwhile waits until then. platformLeave may
    // free the platform frame: it is the last thing the platform does.
    virtual void platformEnter() {}
    virtual void platformLeave() {}
};

// Implemented by the platform.
class IPlatformFrame
{
public:
    virtual ~IPlatformFrame() = default;
    // Rect (frame coordinates) needs drawing: the platform coalesces the
    // requests and later calls platformDrawRect. Nothing is drawn here.
    virtual bool invalidRect(const CRect& rect) = 0;
    virtual bool setSize(const CRect& size) = 0;
    // The native window (an X11 Window id), for the in-place text box.
    virtual void* getPlatformRepresentation() const = 0;
    // Shows the menu at frameLocation (frame coordinates, the menu's top
    // left) in a window of its own and waits until the popup says it is
    // done (a choice, Escape or a click outside). True when an entry was
    // chosen; the choice is in the popup.
    virtual bool popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation) = 0;
    // The in-place text box over frameRect (frame coordinates); waits until
    // it ends.
    // text is edited in place (UTF-8). resultCode says how editing ended:
    // 0 Return, 1 Tab, 2 Back-tab, 3 Up, 4 Down, 1 a press outside the box,
    // -1 any other end. False when no box could be shown, and when the box
    // ended as cancelled (text unchanged).
    virtual bool runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode) = 0;
    // The same two without waiting: they show the widget and return at once.
    // `done` is called once, from the platform's handling of the window's
    // events when the widget ends, and at once when nothing can be shown
    // (false). A widget that the user did not end, because the window
    // closes, goes or is hidden first, ends as cancelled: the menu with no
    // choice, the text box with false, its text as it was given and -1. The
    // defaults run the modal versions and then call `done`.
    using MenuDone = std::function<void(bool chosen)>;
    using TextBoxDone = std::function<void(bool shown, const std::string& text, int32_t resultCode)>;
    virtual void openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation,
                          MenuDone done);
    virtual void openTextBox(const CRect& frameRect, const std::string& text, TextBoxDone done);
    // Serves the window (events, repaints) until done() answers true, for a
    // caller that must wait without stopping the editor (and, where the
    // platform can, without stopping the host's loop); false when the window
    // went first. The default serves nothing and only looks at done()
    // every few milliseconds.
    virtual bool runModal(const std::function<bool()>& done);
    // Shows the toolkit's own file browser for the selector in a window of
    // its own, served with this one, and returns at once; null when the
    // platform has none or cannot show it.
    virtual std::unique_ptr<IFileChooserRun> openFileBrowser(const CNewFileSelector& selector);
    // The frame closes: every window goes now, even while a modal loop of
    // this platform frame is still to return (it then ends as cancelled
    // and touches nothing more).
    virtual void shutdown() {}
};

// Makes the platform frame for CFrame::open; null when it cannot.
using PlatformFrameFactory = IPlatformFrame* (*)(IPlatformFrameCallback* frame, const CRect& size, void* parent,
                                                  PlatformType type);
// Installed once by the platform layer; without one CFrame::open fails.
void setPlatformFrameFactory(PlatformFrameFactory factory);
PlatformFrameFactory getPlatformFrameFactory();

} // namespace VSTGUI
