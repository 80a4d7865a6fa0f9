#include "editor/toolkit/x11/X11Tooltip.h"

#include <algorithm>
#include <cmath>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CParamDisplay.h"
#include "editor/toolkit/x11/X11ErrorTrap.h"
#include "editor/toolkit/x11/X11Frame.h"

#include <X11/Xlib.h>

namespace VSTGUI {

namespace {
constexpr CColor kBack(255, 255, 225);
constexpr CColor kBorder(120, 120, 120);
constexpr CColor kText(20, 20, 20);
constexpr double kMaxWidth = 1024;
} // namespace

X11Tooltip::X11Tooltip(X11Frame& frame) : frame_(frame) {}

X11Tooltip::~X11Tooltip()
{
    hide();
}

unsigned long X11Tooltip::window() const
{
    return view_ ? puglGetNativeView(view_) : 0;
}

void X11Tooltip::hide()
{
    if (view_ == nullptr)
        return;
    X11ErrorTrap trap(frame_.display(), frame_.lostFlag());
    puglFreeView(view_);
    view_ = nullptr;
}

bool X11Tooltip::show(const std::string& text, const CPoint& frameWhere)
{
    hide();
    if (text.empty() || !frame_.usable())
        return false;
    // One line: breaks become blanks.
    text_ = text;
    std::replace(text_.begin(), text_.end(), '\n', ' ');
    std::replace(text_.begin(), text_.end(), '\r', ' ');
    CFontDesc* font = CParamDisplay::defaultFont();
    const IPlatformFont* platform = font->getPlatformFont();
    const double line = std::ceil(platform->getAscent() + platform->getDescent());
    const double width = std::min(kMaxWidth, std::ceil(platform->getStringWidth(nullptr, text_.c_str())));
    size_ = CPoint(width + 2 * kPadding + 2, line + 2 * kPadding);

    Display* display = frame_.display();
    X11ErrorTrap trap(display, frame_.lostFlag());
    const int screen = DefaultScreen(display);
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, static_cast<Window>(frame_.window()), RootWindow(display, screen),
                               static_cast<int>(std::lround(frameWhere.x)),
                               static_cast<int>(std::lround(frameWhere.y)), &x, &y, &child))
        return false;
    const int w = static_cast<int>(size_.x);
    const int h = static_cast<int>(size_.y);
    // Below the pointer, else above it; never off the screen.
    y = y + kBelowPointer + h <= DisplayHeight(display, screen) ? y + kBelowPointer : y - kBelowPointer / 2 - h;
    x = std::max(0, std::min(x, DisplayWidth(display, screen) - w));
    y = std::max(0, y);

    view_ = frame_.newScreenView(this, onEvent, x, y, w, h);
    if (puglRealize(view_) != PUGL_SUCCESS)
    {
        puglFreeView(view_);
        view_ = nullptr;
        return false;
    }
    const auto native = static_cast<Window>(puglGetNativeView(view_));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, native, CWOverrideRedirect, &attributes);
    XSetTransientForHint(display, native, static_cast<Window>(frame_.window()));
    puglShow(view_);
    trap.sync();
    if (trap.errorCount() > 0 || !frame_.usable())
    {
        puglFreeView(view_);
        view_ = nullptr;
        return false;
    }
    return true;
}

PuglStatus X11Tooltip::onEvent(PuglView* view, const PuglEvent* event)
{
    auto* self = static_cast<X11Tooltip*>(puglGetHandle(view));
    if (event->type != PUGL_EXPOSE)
        return PUGL_SUCCESS;
    const CRect area(event->expose.x, event->expose.y, event->expose.x + event->expose.width,
                     event->expose.y + event->expose.height);
    const CPoint size = self->size_;
    const std::string& text = self->text_;
    self->frame_.paint(puglGetNativeView(view), {area}, size.x, size.y, [&size, &text](CDrawContext& context) {
        const CRect all(0, 0, size.x, size.y);
        context.setDrawMode(kAliasing);
        context.setFillColor(kBack);
        context.drawRect(all, kDrawFilled);
        context.setLineWidth(1);
        context.setFrameColor(kBorder);
        context.drawRect(all, kDrawStroked);
        context.setFont(CParamDisplay::defaultFont());
        context.setFontColor(kText);
        CRect inside = all;
        inside.inset(kPadding + 1, 0);
        context.drawString(text.c_str(), inside, kLeftText, true);
    });
    return PUGL_SUCCESS;
}

} // namespace VSTGUI
