#pragma once
// Puts what the toolkit draws on an X window: cairo paints into an image of
// the rectangles' bounds, whose pixels then go to the window (XPutImage),
// only those of the rectangles. Nothing of cairo is tied to the X
// connection, so nothing outlives it. UI thread only.

#include <functional>
#include <vector>

#include "editor/toolkit/CRect.h"

typedef struct _XDisplay Display;

namespace VSTGUI {

class CDrawContext;

class X11Painter
{
public:
    // For windows of the visual and depth of `window` (one graphics context
    // serves them all).
    X11Painter(Display* display, void* visual, int depth, unsigned long window);
    ~X11Painter();
    X11Painter(const X11Painter&) = delete;
    X11Painter& operator=(const X11Painter&) = delete;

    // Draws the rectangles (window coordinates) of a window of that size.
    void paint(unsigned long window, const std::vector<CRect>& rects, CCoord width, CCoord height,
               const std::function<void(CDrawContext& context)>& draw);

private:
    Display* display_;
    void* visual_;
    int depth_;
    void* gc_ = nullptr;
};

} // namespace VSTGUI
