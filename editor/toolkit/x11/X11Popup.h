#pragma once
// The window an option menu's list pops up in: an override-redirect window
// (no window manager frame, above everything) that holds the pointer and the
// keyboard while it is open, so that a press anywhere else cancels the list.
// The frame serves it with its own window until the list is done. UI thread only.

#include "editor/toolkit/x11/Pugl.h"

#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class COptionMenuPopup;
class X11Frame;

class X11Popup
{
public:
    X11Popup(X11Frame& frame, COptionMenuPopup& list);
    // Lets go of the pointer and keyboard and removes the window.
    ~X11Popup();
    X11Popup(const X11Popup&) = delete;
    X11Popup& operator=(const X11Popup&) = delete;

    // Shows the list with its top left at frameLocation (moved to stay on
    // the screen, and no taller than the screen: a longer list scrolls); false when it cannot be shown or cannot hold the pointer.
    bool open(const CPoint& frameLocation);
    // Lets go and removes the window now; nothing of it is touched after.
    void release();

    static constexpr int kGrabTries = 50;

private:
    static PuglStatus onEvent(PuglView* view, const PuglEvent* event);

    X11Frame& frame_;
    COptionMenuPopup& list_;
    PuglView* view_ = nullptr;
    bool grabbedPointer_ = false;
    bool grabbedKeyboard_ = false;
};

} // namespace VSTGUI
