#include "editor/toolkit/x11/X11RunLoopHandler.h"

#include "editor/toolkit/x11/X11Frame.h"

namespace VSTGUI {

using namespace Steinberg;

// The frame may go while it serves (the editor closed from a handler): the
// handler stays until the call returns.
void PLUGIN_API X11RunLoopHandler::onFDIsSet(Linux::FileDescriptor)
{
    addRef();
    if (frame_)
        frame_->serve();
    release();
}

void PLUGIN_API X11RunLoopHandler::onTimer()
{
    addRef();
    if (frame_)
        frame_->onTimer();
    release();
}

tresult PLUGIN_API X11RunLoopHandler::queryInterface(const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler_iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid))
        *obj = static_cast<Linux::IEventHandler*>(this);
    else if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler_iid))
        *obj = static_cast<Linux::ITimerHandler*>(this);
    else
    {
        *obj = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API X11RunLoopHandler::release()
{
    if (--refs_ > 0)
        return refs_;
    delete this;
    return 0;
}

} // namespace VSTGUI
