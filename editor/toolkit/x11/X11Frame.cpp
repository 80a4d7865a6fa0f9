#include "editor/toolkit/x11/X11Frame.h"

#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <cairo.h>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/COptionMenuPopup.h"
#include "editor/toolkit/ToolkitLog.h"
#include "editor/toolkit/x11/X11ErrorTrap.h"
#include "editor/toolkit/x11/X11FileBrowser.h"
#include "editor/toolkit/x11/X11Painter.h"
#include "editor/toolkit/x11/X11Popup.h"
#include "editor/toolkit/x11/X11RunLoopHandler.h"
#include "editor/toolkit/x11/X11TextBox.h"
#include "editor/toolkit/x11/X11Tooltip.h"
#include "pluginterfaces/gui/iplugview.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace VSTGUI {

using namespace Steinberg;


namespace {
int32_t ButtonBit(uint32_t button)
{
    switch (button)
    {
    case 0:
        return kLButton;
    case 1:
        return kRButton;
    case 2:
        return kMButton;
    case 3:
        return kButton4;
    case 4:
        return kButton5;
    default:
        return 0;
    }
}

int32_t Modifiers(PuglMods mods)
{
    return ((mods & PUGL_MOD_SHIFT) ? kShift : 0) | ((mods & PUGL_MOD_CTRL) ? kControl : 0) |
           ((mods & PUGL_MOD_ALT) ? kAlt : 0) | ((mods & PUGL_MOD_SUPER) ? kApple : 0);
}

PuglSpan Side(CCoord side)
{
    return static_cast<PuglSpan>(std::clamp<CCoord>(std::round(side), 1, 8192));
}
} // namespace

std::unique_ptr<X11Frame> X11Frame::create(IPlatformFrameCallback* frame, const CRect& size, void* parent,
                                           Linux::IRunLoop* runLoop, std::string& error)
{
    const auto parentWindow = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
    if (frame == nullptr || parentWindow == 0)
    {
        error = frame ? "no parent window" : "no frame";
        return nullptr;
    }
    std::unique_ptr<X11Frame> self(new X11Frame(frame, runLoop));
    if (!self->open(size, parentWindow, error))
        return nullptr;
    return self;
}

X11Frame::X11Frame(IPlatformFrameCallback* frame, Linux::IRunLoop* runLoop) : frame_(frame), runLoop_(runLoop)
{
    if (runLoop_)
        runLoop_->addRef();
}

X11Frame::~X11Frame()
{
    dispatching_ = false;
    shutdown();
    if (runLoop_)
        runLoop_->release();
}

void X11Frame::shutdown()
{
    unregister();
    if (world_ == nullptr || dispatching_)
        return;
    if (textBox_)
    {
        textBox_->finish(-1);
        textBox_->release();
    }
    if (popup_)
        popup_->release();
    {
        X11ErrorTrap trap(display_, &lost_);
        tooltip_.reset();
        painter_.reset();
        if (view_)
            puglFreeView(view_);
        view_ = nullptr;
    }
    {
        X11ErrorTrap trap(display_, &lost_);
        trap.skipSync();
        puglFreeWorld(world_);
    }
    world_ = nullptr;
}

bool X11Frame::open(const CRect& size, unsigned long parent, std::string& error)
{
    world_ = puglNewWorld(PUGL_MODULE, 0);
    if (world_ == nullptr)
    {
        error = "cannot connect to the X server";
        return false;
    }
    display_ = static_cast<Display*>(puglGetNativeWorld(world_));
    X11ErrorTrap::watchConnection(display_, &lost_);
    puglSetClassName(world_, "Korvane");

    X11ErrorTrap trap(display_, &lost_);
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display_, parent, &parentAttributes))
    {
        error = "the host's window " + std::to_string(parent) + " is not a window";
        return false;
    }
    width_ = Side(size.getWidth());
    height_ = Side(size.getHeight());
    view_ = puglNewView(world_);
    puglSetHandle(view_, this);
    puglSetEventFunc(view_, onEvent);
    puglSetBackend(view_, puglStubBackend());
    puglSetViewHint(view_, PUGL_RESIZABLE, PUGL_TRUE);
    puglSetSizeHint(view_, PUGL_DEFAULT_SIZE, Side(width_), Side(height_));
    puglSetParentWindow(view_, parent);
    if (puglRealize(view_) != PUGL_SUCCESS)
    {
        error = "cannot make the editor's window";
        return false;
    }
    window_ = puglGetNativeView(view_);
    // What becomes of the host's window decides how long a modal loop runs.
    parent_ = parent;
    XSelectInput(display_, parent_, StructureNotifyMask);

    // Hosts that embed through XEmbed map a child only when it says so.
    const Atom info = XInternAtom(display_, "_XEMBED_INFO", False);
    const long embedInfo[2] = {0, 1}; // version 0, mapped
    XChangeProperty(display_, window_, info, info, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(embedInfo), 2);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window_, &attributes);
    painter_ = std::make_unique<X11Painter>(display_, attributes.visual, attributes.depth, window_);
    puglShow(view_);
    trap.sync();
    if (trap.errorCount() > 0 || lost_)
    {
        error = "the host's window did not take the editor's";
        return false;
    }

    if (runLoop_ == nullptr)
        toolkitLog("the host offers no run loop: the editor sees no events");
    else
    {
        handler_ = new X11RunLoopHandler(this);
        const bool watched =
            runLoop_->registerEventHandler(handler_, ConnectionNumber(display_)) == kResultTrue;
        const bool timed = runLoop_->registerTimer(handler_, kRepaintMilliseconds) == kResultTrue;
        registered_ = watched;
        if (!watched || !timed)
            toolkitLog("the host's run loop refused the editor's %s", watched ? "timer" : "connection");
    }
    dirty_.add(CRect(0, 0, width_, height_));
    return true;
}

void X11Frame::unregister()
{
    if (handler_ == nullptr)
        return;
    if (runLoop_)
    {
        runLoop_->unregisterEventHandler(handler_);
        runLoop_->unregisterTimer(handler_);
    }
    handler_->detach();
    handler_->release();
    handler_ = nullptr;
    registered_ = false;
}

bool X11Frame::invalidRect(const CRect& rect)
{
    CRect r = rect;
    r.bound(CRect(0, 0, width_, height_));
    if (!r.isEmpty())
        dirty_.add(r);
    return true;
}

bool X11Frame::setSize(const CRect& size)
{
    width_ = Side(size.getWidth());
    height_ = Side(size.getHeight());
    dirty_.clear();
    dirty_.add(CRect(0, 0, width_, height_));
    if (!usable())
        return false;
    X11ErrorTrap trap(display_, &lost_);
    // Through the frame, which pugl takes at once: its back end sizes the
    // surfaces of the next expose by it.
    const PuglRect at = puglGetFrame(view_);
    puglSetFrame(view_, PuglRect{at.x, at.y, Side(width_), Side(height_)});
    return true;
}

void* X11Frame::getPlatformRepresentation() const
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
}

void X11Frame::serve()
{
    if (usable())
    {
        dispatch();
        flushDirty();
    }
    checkLost();
}

void X11Frame::onTimer()
{
    // Events another call read off the connection wait in Xlib's queue and
    // would not wake the run loop.
    if (usable() && XEventsQueued(display_, QueuedAlready) > 0)
        dispatch();
    if (usable())
    {
        frame_->platformOnTimer();
        tooltipTick();
    }
    flushDirty();
    checkLost();
    // Last: what waits on the editor may close the frame, and this with it.
    frame_->platformOnIdle();
}

void X11Frame::checkLost()
{
    // A dead connection stays readable: leave the run loop alone from now on.
    if (lost_)
        unregister();
}

void X11Frame::watchHost()
{
    XEvent event;
    while (!lost_ && XCheckWindowEvent(display_, parent_, StructureNotifyMask, &event))
    {
        const bool destroyed = event.type == DestroyNotify && event.xdestroywindow.window == parent_;
        if (destroyed || (event.type == UnmapNotify && event.xunmap.window == parent_) ||
            (event.type == ReparentNotify && event.xreparent.window == parent_))
            ++hostChanges_;
        if (destroyed)
            windowGone_ = true;
    }
    while (!lost_ && XCheckTypedWindowEvent(display_, window_, ReparentNotify, &event))
        if (event.xreparent.parent != parent_)
            ++hostChanges_;
}

X11Frame::HostPlace X11Frame::hostPlace()
{
    HostPlace place;
    X11ErrorTrap trap(display_, &lost_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, parent_, &attributes))
        return place;
    place.there = true;
    place.mapState = attributes.map_state;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display_, parent_, &root, &parent, &children, &count))
    {
        place.hostParent = parent;
        if (children)
            XFree(children);
        children = nullptr;
    }
    if (XQueryTree(display_, window_, &root, &parent, &children, &count))
    {
        place.ourParent = parent;
        if (children)
            XFree(children);
    }
    trap.sync();
    if (trap.errorCount() > 0)
        place.there = false;
    return place;
}

void X11Frame::dispatch()
{
    if (world_ == nullptr)
        return;
    struct Dispatching
    {
        bool& flag;
        bool was;
        ~Dispatching() { flag = was; }
    } dispatching{dispatching_, dispatching_};
    dispatching_ = true;
    X11ErrorTrap trap(display_, &lost_);
    // Read what arrived; pugl drops the destruction of its windows, so look
    // for ours first.
    for (int round = 0; round < 4 && usable(); ++round)
    {
        XEventsQueued(display_, QueuedAfterReading);
        XEvent event;
        while (!lost_ && XCheckTypedWindowEvent(display_, window_, DestroyNotify, &event))
            windowGone_ = true;
        watchHost();
        if (!usable())
            break;
        puglUpdate(world_, 0.0);
        trap.sync();
        if (trap.hitResource(window_))
            windowGone_ = true;
        if (lost_ || XEventsQueued(display_, QueuedAlready) == 0)
            break;
    }
    trap.skipSync();
}

void X11Frame::flushDirty()
{
    if (dirty_.isEmpty() || !usable() || !visible_)
        return;
    const std::vector<CRect> rects = dirty_.rects();
    dirty_.clear();
    X11ErrorTrap trap(display_, &lost_);
    paint(window_, rects, width_, height_, [this, &rects](CDrawContext& context) {
        for (const CRect& r : rects)
            frame_->platformDrawRect(&context, r);
    });
    trap.sync();
    if (trap.hitResource(window_))
        windowGone_ = true;
    trap.skipSync();
}

void X11Frame::paint(unsigned long window, const std::vector<CRect>& rects, CCoord width, CCoord height,
                     const std::function<void(CDrawContext& context)>& draw)
{
    if (usable() && painter_)
        painter_->paint(window, rects, width, height, draw);
}

PuglView* X11Frame::newScreenView(void* handle, PuglEventFunc onEvent, int x, int y, int width, int height) const
{
    PuglView* view = puglNewView(world_);
    puglSetHandle(view, handle);
    puglSetEventFunc(view, onEvent);
    puglSetBackend(view, puglStubBackend());
    puglSetViewHint(view, PUGL_RESIZABLE, PUGL_FALSE);
    puglSetFrame(view, PuglRect{static_cast<PuglCoord>(x), static_cast<PuglCoord>(y), static_cast<PuglSpan>(width),
                                static_cast<PuglSpan>(height)});
    return view;
}

bool X11Frame::runModal(const std::function<bool()>& done)
{
    const unsigned hostChanges = hostChanges_;
    const HostPlace began = usable() ? hostPlace() : HostPlace{};
    while (!done())
    {
        if (!usable())
            return false;
        if (hostChanges_ != hostChanges || !(hostPlace() == began))
        {
            toolkitLog("the host's window went away or moved: the modal loop ends as cancelled");
            return false;
        }
        flushDirty();
        int queued = 0;
        {
            X11ErrorTrap trap(display_, &lost_);
            trap.skipSync();
            queued = XEventsQueued(display_, QueuedAfterFlush);
        }
        if (queued == 0 && usable())
        {
            // Wakes for events; the time-out only bounds a wait that no event ends.
            pollfd watch{ConnectionNumber(display_), POLLIN, 0};
            poll(&watch, 1, 100);
        }
        dispatch();
    }
    return usable();
}

bool X11Frame::popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation)
{
    hideTooltip(true);
    if (!usable())
    {
        popup.cancel();
        return false;
    }
    X11Popup list(*this, popup);
    if (!list.open(frameLocation))
    {
        popup.cancel();
        return false;
    }
    popup_ = &list;
    if (!runModal([&popup] { return popup.isDone(); }))
        popup.cancel();
    popup_ = nullptr;
    return popup.getChosenIndex() >= 0;
}

bool X11Frame::runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode)
{
    resultCode = -1;
    // One box at a time: a press in the band outside the box may reach
    // another text control while one is open.
    if (!usable() || textBox_ != nullptr)
        return false;
    hideTooltip(true);
    X11TextBox box(*this, frameRect, text);
    if (!box.open())
        return false;
    textBox_ = &box;
    if (!runModal([&box] { return box.finished(); }))
        box.finish(-1);
    textBox_ = nullptr;
    text = box.text();
    resultCode = box.finished() ? box.code() : -1;
    return true;
}

std::unique_ptr<IFileChooserRun> X11Frame::openFileBrowser(const CNewFileSelector& selector)
{
    if (!usable())
        return nullptr;
    auto browser = std::make_unique<X11FileBrowser>(*this, selector);
    if (!browser->open())
        return nullptr;
    return browser;
}

PuglStatus X11Frame::onEvent(PuglView* view, const PuglEvent* event)
{
    auto* self = static_cast<X11Frame*>(puglGetHandle(view));
    switch (event->type)
    {
    case PUGL_EXPOSE:
    {
        const PuglExposeEvent& e = event->expose;
        const CRect area(e.x, e.y, e.x + e.width, e.y + e.height);
        self->paint(self->window_, {area}, self->width_, self->height_,
                    [self, &area](CDrawContext& context) { self->frame_->platformDrawRect(&context, area); });
        self->dirty_.subtract(area);
        break;
    }
    case PUGL_MAP:
        self->visible_ = true;
        break;
    case PUGL_UNMAP:
        self->visible_ = false;
        break;
    case PUGL_CONFIGURE:
        // Someone else (the host) may size the window too.
        if (event->configure.width != Side(self->width_) || event->configure.height != Side(self->height_))
        {
            self->width_ = event->configure.width;
            self->height_ = event->configure.height;
        }
        break;
    case PUGL_BUTTON_PRESS:
    case PUGL_BUTTON_RELEASE:
    case PUGL_MOTION:
        self->onMouse(*event);
        break;
    case PUGL_POINTER_IN:
        self->pointerInside_ = true;
        self->pointerMoved(CPoint(event->crossing.x, event->crossing.y));
        break;
    case PUGL_POINTER_OUT:
        self->pointerInside_ = false;
        self->hideTooltip(true);
        break;
    default:
        break;
    }
    return PUGL_SUCCESS;
}

const X11Tooltip* X11Frame::tooltip() const
{
    return tooltip_ && tooltip_->shown() ? tooltip_.get() : nullptr;
}

void X11Frame::pointerMoved(const CPoint& where)
{
    const bool drifted = std::fabs(where.x - restingAt_.x) > kTooltipDrift ||
                         std::fabs(where.y - restingAt_.y) > kTooltipDrift;
    if (!drifted && (tooltip() != nullptr || !tooltipDone_))
        return;
    // A new rest starts here.
    hideTooltip(false);
    restingAt_ = where;
    restingSince_ = std::chrono::steady_clock::now();
}

void X11Frame::hideTooltip(bool untilMoved)
{
    if (tooltip_)
        tooltip_->hide();
    tooltipDone_ = untilMoved;
}

void X11Frame::tooltipTick()
{
    if (tooltipDone_ || !pointerInside_ || held_ != 0 || textBox_ != nullptr)
        return;
    if (std::chrono::steady_clock::now() - restingSince_ < std::chrono::milliseconds(kTooltipMilliseconds))
        return;
    tooltipDone_ = true;
    std::string text;
    CPoint where = restingAt_;
    if (!frame_->platformGetTooltipText(where, text) || text.empty())
        return;
    if (!tooltip_)
        tooltip_ = std::make_unique<X11Tooltip>(*this);
    tooltip_->show(text, where);
}

void X11Frame::onMouse(const PuglEvent& event)
{
    if (event.type == PUGL_MOTION)
    {
        CPoint where(event.motion.x, event.motion.y);
        pointerInside_ = true;
        pointerMoved(where);
        frame_->platformOnMouseMoved(where, held_ | Modifiers(event.motion.state));
        return;
    }
    const PuglButtonEvent& e = event.button;
    // Any press or release puts the tooltip away until the pointer moves on.
    hideTooltip(true);
    const int32_t bit = ButtonBit(e.button);
    if (bit == 0)
        return;
    CPoint where(e.x, e.y);
    const int32_t modifiers = Modifiers(e.state);
    if (e.type == PUGL_BUTTON_RELEASE)
    {
        held_ &= ~bit;
        frame_->platformOnMouseUp(where, bit | modifiers);
        return;
    }
    // With the text box open, a left or right press outside its band ends
    // it and goes no further.
    if (textBox_ != nullptr && (bit == kLButton || bit == kRButton) && !textBox_->inBand(where))
    {
        textBox_->finish(1);
        return;
    }
    int32_t state = held_ | bit | modifiers;
    held_ |= bit;
    if (bit == kLButton)
    {
        const bool again = lastPressTime_ >= 0 && e.time - lastPressTime_ <= kDoubleClickSeconds &&
                           std::fabs(where.x - lastPress_.x) <= kDoubleClickDistance &&
                           std::fabs(where.y - lastPress_.y) <= kDoubleClickDistance;
        if (again)
            state |= kDoubleClick;
        // A third press starts over.
        lastPressTime_ = again ? -1.0 : e.time;
        lastPress_ = where;
    }
    frame_->platformOnMouseDown(where, state);
}

} // namespace VSTGUI
