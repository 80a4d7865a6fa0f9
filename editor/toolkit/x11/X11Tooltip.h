#pragma once
// The small window that shows a view's tooltip: an override-redirect window
// (no window manager frame, above everything) just below the pointer, made
// on the frame's X connection and drawn through the frame's painter. It
// takes no input: the frame shows it after the pointer has rested on a view
// with a tooltip and hides it when the pointer moves on, leaves or presses.
// UI thread only.

#include <string>

#include "editor/toolkit/x11/Pugl.h"

#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class X11Frame;

class X11Tooltip
{
public:
    explicit X11Tooltip(X11Frame& frame);
    // Removes the window.
    ~X11Tooltip();
    X11Tooltip(const X11Tooltip&) = delete;
    X11Tooltip& operator=(const X11Tooltip&) = delete;

    // Shows the text on one line (breaks become blanks) below the pointer at frameWhere, on the
    // screen; false when the window cannot be made.
    bool show(const std::string& text, const CPoint& frameWhere);
    void hide();
    bool shown() const { return view_ != nullptr; }
    unsigned long window() const;

    // Room around the text, and the distance below the pointer.
    static constexpr double kPadding = 4;
    static constexpr int kBelowPointer = 20;

private:
    static PuglStatus onEvent(PuglView* view, const PuglEvent* event);

    X11Frame& frame_;
    PuglView* view_ = nullptr;
    std::string text_;
    CPoint size_;
};

} // namespace VSTGUI
