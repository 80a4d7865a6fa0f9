#include "editor/toolkit/x11/X11Popup.h"

#include <algorithm>
#include <cmath>

#include <poll.h>


#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/COptionMenuPopup.h"
#include "editor/toolkit/ToolkitLog.h"
#include "editor/toolkit/x11/X11ErrorTrap.h"
#include "editor/toolkit/x11/X11Frame.h"

#include <X11/Xlib.h>

namespace VSTGUI {

namespace {
int32_t ButtonState(const PuglButtonEvent& e)
{
    const int32_t bit = e.button == 0   ? kLButton
                        : e.button == 1 ? kRButton
                        : e.button == 2 ? kMButton
                        : e.button == 3 ? kButton4
                        : e.button == 4 ? kButton5
                                        : 0;
    return bit | ((e.state & PUGL_MOD_SHIFT) ? kShift : 0) | ((e.state & PUGL_MOD_CTRL) ? kControl : 0) |
           ((e.state & PUGL_MOD_ALT) ? kAlt : 0) | ((e.state & PUGL_MOD_SUPER) ? kApple : 0);
}

bool KeyOf(uint32_t key, COptionMenuPopup::Key& out)
{
    switch (key)
    {
    case PUGL_KEY_UP:
        out = COptionMenuPopup::Key::kUp;
        return true;
    case PUGL_KEY_DOWN:
        out = COptionMenuPopup::Key::kDown;
        return true;
    case PUGL_KEY_HOME:
        out = COptionMenuPopup::Key::kHome;
        return true;
    case PUGL_KEY_END:
        out = COptionMenuPopup::Key::kEnd;
        return true;
    case '\r':
    case '\n':
        out = COptionMenuPopup::Key::kReturn;
        return true;
    case PUGL_KEY_ESCAPE:
        out = COptionMenuPopup::Key::kEscape;
        return true;
    default:
        return false;
    }
}
} // namespace

X11Popup::X11Popup(X11Frame& frame, COptionMenuPopup& list) : frame_(frame), list_(list) {}

X11Popup::~X11Popup()
{
    release();
}

void X11Popup::release()
{
    if (view_ == nullptr)
        return;
    X11ErrorTrap trap(frame_.display(), frame_.lostFlag());
    if (frame_.usable())
    {
        if (grabbedPointer_)
            XUngrabPointer(frame_.display(), CurrentTime);
        if (grabbedKeyboard_)
            XUngrabKeyboard(frame_.display(), CurrentTime);
    }
    puglFreeView(view_);
    view_ = nullptr;
    grabbedPointer_ = false;
    grabbedKeyboard_ = false;
}

bool X11Popup::open(const CPoint& frameLocation)
{
    Display* display = frame_.display();
    X11ErrorTrap trap(display, frame_.lostFlag());
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, static_cast<Window>(frame_.window()), root,
                               static_cast<int>(std::lround(frameLocation.x)),
                               static_cast<int>(std::lround(frameLocation.y)), &x, &y, &child))
        return false;
    // A list taller than the screen scrolls.
    list_.fitHeight(DisplayHeight(display, screen));
    const CPoint size = list_.getSize();
    const int width = static_cast<int>(std::clamp<CCoord>(std::ceil(size.x), 1, 8192));
    const int height = static_cast<int>(std::clamp<CCoord>(std::ceil(size.y), 1, 8192));
    // On the screen: moved left and up as far as it takes.
    x = std::max(0, std::min(x, DisplayWidth(display, screen) - width));
    y = std::max(0, std::min(y, DisplayHeight(display, screen) - height));

    view_ = frame_.newScreenView(this, onEvent, x, y, width, height);
    if (puglRealize(view_) != PUGL_SUCCESS)
        return false;
    const auto window = static_cast<Window>(puglGetNativeView(view_));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
    XSetTransientForHint(display, window, static_cast<Window>(frame_.window()));
    puglShow(view_);
    trap.sync();
    if (trap.errorCount() > 0 || !frame_.usable())
        return false;

    // The grab fails until the window is viewable, and while another
    // program holds the pointer; a list that cannot see presses elsewhere
    // could not be cancelled, so it is not shown.
    for (int i = 0; i < kGrabTries && !grabbedPointer_ && frame_.usable(); ++i)
    {
        grabbedPointer_ = XGrabPointer(display, window, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                       GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
        if (!grabbedPointer_)
            poll(nullptr, 0, 10);
    }
    if (!grabbedPointer_)
    {
        toolkitLog("the menu cannot hold the pointer; not shown");
        return false;
    }
    grabbedKeyboard_ =
        XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    // Viewable now (the grab took): drawn at once, before the loop waits for
    // events, rather than whenever the server's first expose arrives.
    COptionMenuPopup& list = list_;
    frame_.paint(window, {CRect(0, 0, size.x, size.y)}, size.x, size.y,
                 [&list](CDrawContext& context) { list.draw(&context); });
    return true;
}

PuglStatus X11Popup::onEvent(PuglView* view, const PuglEvent* event)
{
    auto* self = static_cast<X11Popup*>(puglGetHandle(view));
    COptionMenuPopup& list = self->list_;
    if (list.isDone())
        return PUGL_SUCCESS;
    bool redraw = false;
    switch (event->type)
    {
    case PUGL_EXPOSE:
    {
        const CPoint size = list.getSize();
        const CRect area(event->expose.x, event->expose.y, event->expose.x + event->expose.width,
                         event->expose.y + event->expose.height);
        self->frame_.paint(puglGetNativeView(view), {area}, size.x, size.y,
                           [&list](CDrawContext& context) { list.draw(&context); });
        break;
    }
    case PUGL_MOTION:
        redraw = list.onMouseMoved(CPoint(event->motion.x, event->motion.y));
        break;
    case PUGL_BUTTON_PRESS:
        redraw = list.onMouseDown(CPoint(event->button.x, event->button.y), ButtonState(event->button));
        break;
    case PUGL_BUTTON_RELEASE:
        redraw = list.onMouseUp(CPoint(event->button.x, event->button.y), ButtonState(event->button));
        break;
    case PUGL_SCROLL:
        if (list.onWheel(event->scroll.dy))
        {
            // What is under the pointer now is another entry.
            list.onMouseMoved(CPoint(event->scroll.x, event->scroll.y));
            redraw = true;
        }
        break;
    case PUGL_KEY_PRESS:
    {
        COptionMenuPopup::Key key;
        if (KeyOf(event->key.key, key))
            redraw = list.onKeyDown(key);
        break;
    }
    default:
        break;
    }
    if (redraw)
        puglPostRedisplay(view);
    return PUGL_SUCCESS;
}

} // namespace VSTGUI
