#pragma once
// What the host's run loop holds for the editor's window: the X connection's
// descriptor and the repaint timer call the frame. The run loop may hold it
// longer than the frame lives, so the frame detaches it when it goes.
// UI thread only.

#include "pluginterfaces/gui/iplugview.h"

namespace VSTGUI {

class X11Frame;

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class X11RunLoopHandler : public Steinberg::Linux::IEventHandler, public Steinberg::Linux::ITimerHandler
{
public:
    explicit X11RunLoopHandler(X11Frame* frame) : frame_(frame) {}
    virtual ~X11RunLoopHandler() = default;

    void detach() { frame_ = nullptr; }

    void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor fd) override;
    void PLUGIN_API onTimer() override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return ++refs_; }
    Steinberg::uint32 PLUGIN_API release() override;

private:
    X11Frame* frame_;
    Steinberg::uint32 refs_ = 1;
};
#pragma GCC diagnostic pop

} // namespace VSTGUI
