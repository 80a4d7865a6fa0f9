#include "tools/kvhost/HostContext.h"

#include <cmath>

#include "pluginterfaces/base/ustring.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API KvHostApplication::getName(String128 text)
{
    UString128(name.c_str()).copyTo(text, 128);
    return kResultOk;
}

std::vector<HostComponentHandler::Edit> HostComponentHandler::takeEdits()
{
    std::vector<Edit> taken;
    taken.swap(edits_);
    return taken;
}

std::vector<HostComponentHandler::Call> HostComponentHandler::takeCalls()
{
    std::vector<Call> taken;
    taken.swap(calls_);
    return taken;
}

tresult PLUGIN_API HostComponentHandler::beginEdit(ParamID id)
{
    if (calls_.size() < kMaxPendingEdits)
        calls_.push_back({'b', id, 0.0});
    return kResultOk;
}

tresult PLUGIN_API HostComponentHandler::performEdit(ParamID id, ParamValue valueNormalized)
{
    if (!std::isfinite(valueNormalized) || valueNormalized < 0.0 || valueNormalized > 1.0)
        return kInvalidArgument;
    if (edits_.size() >= kMaxPendingEdits)
        return kResultFalse;
    edits_.emplace_back(id, valueNormalized);
    if (calls_.size() < kMaxPendingEdits)
        calls_.push_back({'e', id, valueNormalized});
    return kResultOk;
}

tresult PLUGIN_API HostComponentHandler::endEdit(ParamID id)
{
    if (calls_.size() < kMaxPendingEdits)
        calls_.push_back({'x', id, 0.0});
    return kResultOk;
}

tresult PLUGIN_API HostComponentHandler::restartComponent(int32 flags)
{
    restartFlags_ |= flags;
    return kResultOk;
}

tresult PLUGIN_API HostComponentHandler::queryInterface(const TUID queried, void** obj)
{
    if (FUnknownPrivate::iidEqual(queried, IComponentHandler::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = static_cast<IComponentHandler*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
