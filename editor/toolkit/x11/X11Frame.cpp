#include "editor/toolkit/x11/X11Frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <cairo.h>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/COptionMenuPopup.h"
#include "editor/toolkit/ToolkitLog.h"
#include "editor/toolkit/x11/HostLoopWait.h"
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

// The mouse buttons X reports held in an event's state. The extra buttons
// have no bit there.
int32_t HeldButtons(unsigned state)
{
    return ((state & Button1Mask) ? kLButton : 0) | ((state & Button2Mask) ? kMButton : 0) |
           ((state & Button3Mask) ? kRButton : 0);
}
constexpr int32_t kReportedButtons = kLButton | kMButton | kRButton;
constexpr std::size_t kMaxPointerStates = 512;

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
    // What is open ends as cancelled, now.
    finishWidgets(true, true);
    if (world_ == nullptr || dispatching_)
        return;
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
    IPlatformFrameCallback* frame = frame_;
    frame->platformEnter();
    if (usable())
    {
        dispatch();
        flushDirty();
    }
    checkLost();
    finishWidgets(!usable(), !usable());
    // The host's window changed, or ours was unmapped: it may be hidden.
    if (hostChanges_ != hostChangesSeen_ || !visible_)
        finishWidgetsWhenHidden();
    // Last: it may let go of this.
    frame->platformLeave();
}

void X11Frame::onTimer()
{
    IPlatformFrameCallback* frame = frame_;
    frame->platformEnter();
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
    finishWidgets(!usable(), !usable());
    // A window around the host's may have been hidden, which tells us nothing.
    finishWidgetsWhenHidden();
    // What waits on the editor may close the frame.
    frame->platformOnIdle();
    // Last: it may let go of this.
    frame->platformLeave();
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
        recordPointerStates();
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
    HostLoopWait wait(usable() ? ConnectionNumber(display_) : -1);
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
        // Wakes for events; the time-out only bounds a wait that no event
        // ends. The host may close the editor meanwhile.
        if (queued == 0 && usable())
            wait.wait(kModalWakeMilliseconds);
        if (usable())
            dispatch();
        finishWidgets(!usable(), !usable());
    }
    return usable();
}

void X11Frame::openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation, MenuDone done)
{
    hideTooltip(true);
    // One list at a time.
    auto window = usable() && !menu_ ? std::make_unique<X11Popup>(*this, *popup) : nullptr;
    if (!window || !window->open(frameLocation))
    {
        popup->cancel();
        done(false);
        return;
    }
    menu_.reset(new OpenMenu{popup, std::move(window), std::move(done), windowViewable()});
}

void X11Frame::openTextBox(const CRect& frameRect, const std::string& text, TextBoxDone done)
{
    // One box at a time: a press in the band outside the box may reach
    // another text control while one is open.
    auto box = usable() && !textBox_ ? std::make_unique<X11TextBox>(*this, frameRect, text) : nullptr;
    if (box)
        hideTooltip(true);
    if (!box || !box->open())
    {
        done(false, text, -1);
        return;
    }
    textBox_.reset(new OpenTextBox{std::move(box), std::move(done), text, windowViewable()});
}

void X11Frame::finishWidgets(bool cancelMenu, bool cancelTextBox)
{
    std::vector<std::function<void()>> calls;
    if (menu_ && (cancelMenu || menu_->list->isDone()))
    {
        std::shared_ptr<OpenMenu> menu(std::move(menu_));
        if (!menu->list->isDone())
            menu->list->cancel();
        menu->window.reset();
        const bool chosen = menu->list->getChosenIndex() >= 0;
        calls.emplace_back([menu, chosen] { menu->done(chosen); });
    }
    if (textBox_ && (cancelTextBox || textBox_->box->finished()))
    {
        std::shared_ptr<OpenTextBox> box(std::move(textBox_));
        // Ended otherwise than by its keys or a press outside: cancelled,
        // nothing of what was typed is taken.
        const bool ended = box->box->finished();
        const int32_t code = ended ? box->box->code() : -1;
        const std::string text = ended ? box->box->text() : box->given;
        box->box.reset();
        calls.emplace_back([box, ended, text, code] { box->done(ended, text, code); });
    }
    if (calls.empty())
        return;
    // The release of the press that opened it went to the widget's window.
    if (!dispatching_ && usable())
    {
        CPoint where;
        const int32_t real = queryButtons(where);
        reconcileButtons(real, where);
    }
    for (const auto& call : calls)
        call();
}

bool X11Frame::windowViewable()
{
    if (!usable())
        return false;
    X11ErrorTrap trap(display_, &lost_);
    XWindowAttributes attributes{};
    const bool viewable =
        XGetWindowAttributes(display_, window_, &attributes) && attributes.map_state == IsViewable;
    trap.sync();
    const bool seen = viewable && trap.errorCount() == 0;
    trap.skipSync();
    return seen;
}

void X11Frame::finishWidgetsWhenHidden()
{
    hostChangesSeen_ = hostChanges_;
    if ((!menu_ && !textBox_) || !usable())
        return;
    const bool viewable = windowViewable();
    // Only a change counts: a widget opened on a window not yet shown stays.
    bool hiddenMenu = false;
    bool hiddenTextBox = false;
    if (menu_)
    {
        hiddenMenu = menu_->seenViewable && !viewable;
        menu_->seenViewable = menu_->seenViewable || viewable;
    }
    if (textBox_)
    {
        hiddenTextBox = textBox_->seenViewable && !viewable;
        textBox_->seenViewable = textBox_->seenViewable || viewable;
    }
    if (!hiddenMenu && !hiddenTextBox)
        return;
    toolkitLog("the host hid the editor's window: what was open on it ends as cancelled");
    finishWidgets(hiddenMenu, hiddenTextBox);
}

bool X11Frame::popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation)
{
    bool ended = false;
    bool chosen = false;
    openMenu(std::shared_ptr<COptionMenuPopup>(&popup, [](COptionMenuPopup*) {}), frameLocation,
             [&ended, &chosen](bool c) {
                 ended = true;
                 chosen = c;
             });
    waitForWidget(ended, true);
    return chosen;
}

bool X11Frame::runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode)
{
    resultCode = -1;
    bool ended = false;
    bool shown = false;
    openTextBox(frameRect, text, [&](bool s, const std::string& edited, int32_t code) {
        ended = true;
        shown = s;
        if (s)
        {
            text = edited;
            resultCode = code;
        }
    });
    waitForWidget(ended, false);
    return shown;
}

void X11Frame::waitForWidget(const bool& ended, bool menu)
{
    if (!ended)
        runModal([&ended] { return ended; });
    // The window went first.
    if (!ended)
        finishWidgets(menu, !menu);
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
    {
        self->pointerInside_ = true;
        const CPoint where(event->crossing.x, event->crossing.y);
        int32_t real = 0;
        if (self->takePointerState(EnterNotify, event->crossing.time, where.x, where.y, real))
            self->reconcileButtons(real, where);
        self->pointerMoved(where);
        break;
    }
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
    if (tooltipDone_ || !pointerInside_ || held_ != 0 || textBox_)
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

void X11Frame::recordPointerStates()
{
    pointerStates_.clear();
    XEvent event;
    // Looks at every queued event and takes none.
    XCheckIfEvent(
        display_, &event,
        [](Display*, XEvent* e, XPointer self) -> Bool {
            auto* frame = reinterpret_cast<X11Frame*>(self);
            if (e->xany.window != frame->window_ || frame->pointerStates_.size() >= kMaxPointerStates)
                return False;
            if (e->type == MotionNotify)
                frame->pointerStates_.push_back(
                    {e->type, e->xmotion.time, e->xmotion.x, e->xmotion.y, HeldButtons(e->xmotion.state)});
            else if (e->type == ButtonPress || e->type == ButtonRelease)
                frame->pointerStates_.push_back(
                    {e->type, e->xbutton.time, e->xbutton.x, e->xbutton.y, HeldButtons(e->xbutton.state)});
            else if (e->type == EnterNotify)
                frame->pointerStates_.push_back(
                    {e->type, e->xcrossing.time, e->xcrossing.x, e->xcrossing.y, HeldButtons(e->xcrossing.state)});
            return False;
        },
        reinterpret_cast<XPointer>(this));
}

bool X11Frame::takePointerState(int type, double seconds, double x, double y, int32_t& buttons)
{
    const auto time = static_cast<unsigned long>(std::llround(seconds * 1000.0));
    const auto px = static_cast<int>(std::lround(x));
    const auto py = static_cast<int>(std::lround(y));
    for (auto it = pointerStates_.begin(); it != pointerStates_.end(); ++it)
    {
        if (it->type == type && it->time == time && it->x == px && it->y == py)
        {
            buttons = it->buttons;
            pointerStates_.erase(it);
            return true;
        }
    }
    return false;
}

int32_t X11Frame::queryButtons(CPoint& where)
{
    if (!usable())
        return 0;
    X11ErrorTrap trap(display_, &lost_);
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask))
        return 0;
    where = CPoint(x, y);
    return HeldButtons(mask);
}

void X11Frame::reconcileButtons(int32_t real, const CPoint& where)
{
    // Only buttons pressed on this window count as held here; a press that
    // went elsewhere drags nothing.
    const int32_t lost = held_ & kReportedButtons & ~real;
    held_ &= ~lost;
    for (const int32_t bit : {kLButton, kRButton, kMButton})
    {
        if (lost & bit)
        {
            CPoint at = where;
            frame_->platformOnMouseUp(at, bit);
        }
    }
}

void X11Frame::onMouse(const PuglEvent& event)
{
    int32_t real = 0;
    if (event.type == PUGL_MOTION)
    {
        CPoint where(event.motion.x, event.motion.y);
        pointerInside_ = true;
        pointerMoved(where);
        if (takePointerState(MotionNotify, event.motion.time, event.motion.x, event.motion.y, real))
            reconcileButtons(real, where);
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
    const bool known =
        takePointerState(e.type == PUGL_BUTTON_RELEASE ? ButtonRelease : ButtonPress, e.time, e.x, e.y, real);
    if (e.type == PUGL_BUTTON_RELEASE)
    {
        // The state is the one before this release: it still holds the button.
        if (known)
            reconcileButtons(real | bit, where);
        held_ &= ~bit;
        frame_->platformOnMouseUp(where, bit | modifiers);
        return;
    }
    if (known)
        reconcileButtons(real, where);
    // With the text box open, a left or right press outside its band ends
    // it and goes no further.
    if (textBox_ && (bit == kLButton || bit == kRButton) && !textBox_->box->inBand(where))
    {
        textBox_->box->finish(1);
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
