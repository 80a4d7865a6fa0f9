#include "shell/KvHostCalls.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
thread_local int hostCallDepth = 0;
} // namespace

KvHostCalls::Scope::Scope()
{
    ++hostCallDepth;
}

KvHostCalls::Scope::~Scope()
{
    --hostCallDepth;
}

bool KvHostCalls::InsideHostCall()
{
    return hostCallDepth > 0;
}

void KvHostCalls::Begin(ParamID id)
{
    calls_.push_back({Kind::Begin, id, 0.0});
}

void KvHostCalls::Edit(ParamID id, ParamValue value)
{
    // The newest waiting call of the parameter: an edit of the same gesture
    // takes the value.
    const auto last = std::find_if(calls_.rbegin(), calls_.rend(), [id](const Pending& call) { return call.id == id; });
    if (last != calls_.rend() && last->kind == Kind::Edit)
        last->value = value;
    else
        calls_.push_back({Kind::Edit, id, value});
}

void KvHostCalls::End(ParamID id)
{
    calls_.push_back({Kind::End, id, 0.0});
}

void KvHostCalls::Overtaken(ParamID id)
{
    calls_.erase(std::remove_if(calls_.begin(), calls_.end(),
                                [id](const Pending& call) { return call.kind == Kind::Edit && call.id == id; }),
                 calls_.end());
}

void KvHostCalls::OvertakenAll()
{
    calls_.erase(std::remove_if(calls_.begin(), calls_.end(), [](const Pending& call) { return call.kind == Kind::Edit; }),
                 calls_.end());
}

void KvHostCalls::Restart(int32 flags)
{
    restartFlags_.fetch_or(flags);
}

void KvHostCalls::Flush(IComponentHandler* handler)
{
    if (!waitOutside_ || !InsideHostCall())
        Make(handler, true);
}

void KvHostCalls::FlushEdits(IComponentHandler* handler)
{
    Make(handler, false);
}

void KvHostCalls::Make(IComponentHandler* handler, bool restart)
{
    if (handler == nullptr || flushing_)
        return;
    // The host may call the controller back from its handler: what that
    // asks for waits for the next flush.
    const Scope scope;
    flushing_ = true;
    std::vector<Pending> calls;
    calls.swap(calls_);
    for (const Pending& call : calls)
    {
        switch (call.kind)
        {
        case Kind::Begin:
            handler->beginEdit(call.id);
            break;
        case Kind::Edit:
            handler->performEdit(call.id, call.value);
            break;
        case Kind::End:
            handler->endEdit(call.id);
            break;
        }
    }
    if (const int32 flags = restart ? restartFlags_.exchange(0) : 0)
        handler->restartComponent(flags);
    flushing_ = false;
}
