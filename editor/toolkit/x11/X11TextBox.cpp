#include "editor/toolkit/x11/X11TextBox.h"

#include <algorithm>
#include <cmath>

#include <cairo.h>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/x11/X11ErrorTrap.h"
#include "editor/toolkit/x11/X11Frame.h"

#include <X11/Xlib.h>

namespace VSTGUI {

namespace {
const CColor kSelection(173, 214, 255);

PuglSpan Span(CCoord side)
{
    return static_cast<PuglSpan>(std::clamp<CCoord>(std::round(side), 1, 8192));
}
} // namespace

X11TextBox::X11TextBox(X11Frame& frame, const CRect& frameRect, const std::string& text)
    : frame_(frame), rect_(frameRect), field_(text), font_(CFontDesc::defaultFaceName(), kFontSize)
{
    measureSurface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    measure_ = cairo_create(measureSurface_);
}

X11TextBox::~X11TextBox()
{
    release();
    cairo_destroy(measure_);
    cairo_surface_destroy(measureSurface_);
}

void X11TextBox::release()
{
    if (view_ != nullptr)
    {
        X11ErrorTrap trap(frame_.display(), frame_.lostFlag());
        if (frame_.usable())
        {
            XUngrabPointer(frame_.display(), CurrentTime);
            // Back to where the keyboard was, or to the pointer's window.
            if (previousFocus_ > PointerRoot)
                XSetInputFocus(frame_.display(), previousFocus_, previousRevert_, CurrentTime);
            else
                XSetInputFocus(frame_.display(), PointerRoot, RevertToPointerRoot, CurrentTime);
        }
        puglFreeView(view_);
        view_ = nullptr;
    }
}

bool X11TextBox::open()
{
    Display* display = frame_.display();
    X11ErrorTrap trap(display, frame_.lostFlag());
    view_ = puglNewView(frame_.world());
    puglSetHandle(view_, this);
    puglSetEventFunc(view_, onEvent);
    puglSetBackend(view_, puglStubBackend());
    const PuglRect area = {static_cast<PuglCoord>(std::lround(rect_.left)),
                           static_cast<PuglCoord>(std::lround(rect_.top)), Span(rect_.getWidth()),
                           Span(rect_.getHeight())};
    puglSetFrame(view_, area);
    puglSetParentWindow(view_, frame_.window());
    if (puglRealize(view_) != PUGL_SUCCESS)
        return false;
    Window focus = 0;
    XGetInputFocus(display, &focus, &previousRevert_);
    previousFocus_ = focus;
    puglShow(view_);
    trap.sync();
    if (trap.errorCount() > 0 || !frame_.usable())
        return false;
    const auto window = static_cast<Window>(puglGetNativeView(view_));
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    // Presses anywhere reach the editor while the box is open, so that one
    // outside the editor's window ends it too.
    XGrabPointer(display, static_cast<Window>(frame_.window()), True,
                 ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None, None,
                 CurrentTime);
    return true;
}

bool X11TextBox::inBand(const CPoint& where) const
{
    return where.x > rect_.left && where.x < rect_.right && where.y > rect_.top - kBandMargin &&
           where.y < rect_.bottom + kBandMargin;
}

void X11TextBox::finish(int32_t code)
{
    if (finished_)
        return;
    finished_ = true;
    code_ = code;
}

PuglStatus X11TextBox::onEvent(PuglView* view, const PuglEvent* event)
{
    auto* self = static_cast<X11TextBox*>(puglGetHandle(view));
    if (self->finished_)
        return PUGL_SUCCESS;
    switch (event->type)
    {
    case PUGL_EXPOSE:
        self->frame_.paint(puglGetNativeView(view), {CRect(0, 0, self->rect_.getWidth(), self->rect_.getHeight())},
                           self->rect_.getWidth(), self->rect_.getHeight(),
                           [self](CDrawContext& context) { self->draw(context); });
        break;
    case PUGL_KEY_PRESS:
        self->onKey(event->key);
        puglPostRedisplay(view);
        break;
    case PUGL_TEXT:
        if (!(event->text.state & (PUGL_MOD_CTRL | PUGL_MOD_SUPER)))
        {
            self->field_.insert(event->text.string);
            puglPostRedisplay(view);
        }
        break;
    case PUGL_BUTTON_PRESS:
        if (event->button.button == 0)
        {
            self->field_.setCaret(self->offsetAt(event->button.x), (event->button.state & PUGL_MOD_SHIFT) != 0);
            puglPostRedisplay(view);
        }
        break;
    default:
        break;
    }
    return PUGL_SUCCESS;
}

void X11TextBox::onKey(const PuglKeyEvent& key)
{
    const bool shift = (key.state & PUGL_MOD_SHIFT) != 0;
    const bool control = (key.state & PUGL_MOD_CTRL) != 0;
    switch (key.key)
    {
    case '\r':
    case '\n':
        finish(0);
        break;
    case '\t':
        finish(shift ? 2 : 1);
        break;
    case PUGL_KEY_UP:
        finish(3);
        break;
    case PUGL_KEY_DOWN:
        finish(4);
        break;
    case PUGL_KEY_BACKSPACE:
        field_.backspace();
        break;
    case PUGL_KEY_DELETE:
        field_.deleteForward();
        break;
    case PUGL_KEY_LEFT:
        field_.left(shift);
        break;
    case PUGL_KEY_RIGHT:
        field_.right(shift);
        break;
    case PUGL_KEY_HOME:
        field_.home(shift);
        break;
    case PUGL_KEY_END:
        field_.end(shift);
        break;
    case 'a':
        if (control)
            field_.selectAll();
        break;
    default:
        // Escape among them: typing goes on.
        break;
    }
}

CCoord X11TextBox::widthOf(std::size_t bytes)
{
    CDrawContext context(measure_, CRect(0, 0, 1, 1));
    context.setFont(&font_);
    return context.getStringWidth(field_.text().substr(0, bytes).c_str());
}

std::size_t X11TextBox::offsetAt(CCoord x)
{
    const std::string& text = field_.text();
    const CCoord target = x - kInset + scroll_;
    std::size_t best = 0;
    CCoord bestDistance = std::fabs(target);
    for (std::size_t i = 1; i <= text.size(); ++i)
    {
        if (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80)
            continue;
        const CCoord distance = std::fabs(widthOf(i) - target);
        if (distance < bestDistance)
        {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void X11TextBox::draw(CDrawContext& context)
{
    const CCoord width = rect_.getWidth();
    const CCoord height = rect_.getHeight();
    context.setFillColor(kWhiteCColor);
    context.drawRect(CRect(0, 0, width, height), kDrawFilled);

    // Keep the caret in sight.
    const CCoord caretAt = widthOf(field_.caret());
    if (caretAt - scroll_ > width - 2 * kInset)
        scroll_ = caretAt - (width - 2 * kInset);
    if (caretAt - scroll_ < 0)
        scroll_ = caretAt;
    const CCoord left = kInset - scroll_;

    if (field_.hasSelection())
    {
        context.setFillColor(kSelection);
        context.drawRect(CRect(left + widthOf(field_.selectionStart()), 1, left + widthOf(field_.selectionEnd()),
                               height - 1),
                         kDrawFilled);
    }
    context.setFont(&font_);
    context.setFontColor(kBlackCColor);
    context.drawString(field_.text().c_str(), CRect(left, 0, left + widthOf(field_.text().size()) + 1, height),
                       kLeftText);
    context.setFrameColor(kBlackCColor);
    context.setLineWidth(1);
    const CCoord x = std::floor(left + caretAt) + 0.5;
    context.drawLine(CPoint(x, 2), CPoint(x, height - 2));
}

} // namespace VSTGUI
