#include "editor/toolkit/x11/X11ErrorTrap.h"

#include <algorithm>

#include <X11/Xlib.h>

#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {
thread_local X11ErrorTrap* innermost = nullptr;
// What was there before the outermost trap: errors of other displays go there.
thread_local XErrorHandler hostHandler = nullptr;
thread_local XIOErrorHandler hostIoHandler = nullptr;

int OnError(Display* display, XErrorEvent* event)
{
    if (X11ErrorTrap* trap = X11ErrorTrap::find(display))
    {
        trap->record(event->resourceid);
        return 0;
    }
    return hostHandler ? hostHandler(display, event) : 0;
}

int OnIoError(Display* display)
{
    // Ours: the exit handler set by watchConnection takes it from here.
    if (X11ErrorTrap::find(display))
        return 0;
    return hostIoHandler ? hostIoHandler(display) : 0;
}

void ConnectionLost(Display*, void* flag)
{
    if (!*static_cast<bool*>(flag))
        toolkitLog("the editor's X connection broke; the editor stops drawing");
    *static_cast<bool*>(flag) = true;
}
} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display, const bool* lost) : display_(display), lost_(lost), outer_(innermost)
{
    previous_ = reinterpret_cast<void*>(XSetErrorHandler(OnError));
    previousIo_ = reinterpret_cast<void*>(XSetIOErrorHandler(OnIoError));
    if (outer_ == nullptr)
    {
        hostHandler = reinterpret_cast<XErrorHandler>(previous_);
        hostIoHandler = reinterpret_cast<XIOErrorHandler>(previousIo_);
    }
    innermost = this;
}

X11ErrorTrap::~X11ErrorTrap()
{
    if (syncOnExit_)
        sync();
    innermost = outer_;
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
    XSetIOErrorHandler(reinterpret_cast<XIOErrorHandler>(previousIo_));
}

void X11ErrorTrap::sync()
{
    // A broken connection has nothing left to answer.
    if (display_ != nullptr && !(lost_ != nullptr && *lost_))
        XSync(display_, False);
}

bool X11ErrorTrap::hitResource(unsigned long id) const
{
    return std::find(resources_.begin(), resources_.end(), id) != resources_.end();
}

X11ErrorTrap* X11ErrorTrap::find(Display* display)
{
    for (X11ErrorTrap* trap = innermost; trap != nullptr; trap = trap->outer_)
    {
        if (trap->display_ == display)
            return trap;
    }
    return nullptr;
}

void X11ErrorTrap::record(unsigned long resource)
{
    ++count_;
    if (resources_.size() < 64)
        resources_.push_back(resource);
}

void X11ErrorTrap::watchConnection(Display* display, bool* lost)
{
    XSetIOErrorExitHandler(display, ConnectionLost, lost);
}

} // namespace VSTGUI
