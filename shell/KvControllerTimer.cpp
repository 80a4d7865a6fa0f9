#include "shell/KvControllerTimer.h"

#include "shell/ADelayController.h"
#include "shell/KvGuard.h"

using namespace Steinberg;

void PLUGIN_API KvControllerTimer::onTimer()
{
    // The controller may let go of this while it serves.
    addRef();
    if (controller_)
        KvGuard::Run("onTimer", [&] { controller_->OnRunLoopTimer(); });
    release();
}

tresult PLUGIN_API KvControllerTimer::queryInterface(const TUID queried, void** obj)
{
    if (obj == nullptr)
        return kInvalidArgument;
    if (FUnknownPrivate::iidEqual(queried, Linux::ITimerHandler::iid) ||
        FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<Linux::ITimerHandler*>(this);
        addRef();
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API KvControllerTimer::release()
{
    if (--refs_ > 0)
        return refs_;
    delete this;
    return 0;
}
