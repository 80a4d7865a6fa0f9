#pragma once
// The controller's timer on the host's run loop: where the handler calls
// that wait are made, outside any call of the host's, and what calls on
// other threads changed reaches the user-interface thread. The run loop may
// hold it longer than the controller lives, so the controller detaches it
// when it lets go. UI thread only.

#include "pluginterfaces/gui/iplugview.h"

class ADelayController;

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KvControllerTimer : public Steinberg::Linux::ITimerHandler
{
public:
    explicit KvControllerTimer(ADelayController* controller) : controller_(controller) {}
    virtual ~KvControllerTimer() = default;

    void detach() { controller_ = nullptr; }

    void PLUGIN_API onTimer() override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return ++refs_; }
    Steinberg::uint32 PLUGIN_API release() override;

private:
    ADelayController* controller_;
    Steinberg::uint32 refs_ = 1;
};
#pragma GCC diagnostic pop
