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

void KvHostCalls::Edit(ParamID id, ParamValue value)
{
    const auto waiting =
        std::find_if(edits_.begin(), edits_.end(), [id](const PendingEdit& edit) { return edit.id == id; });
    if (waiting != edits_.end())
        waiting->value = value;
    else
        edits_.push_back({id, value});
}

void KvHostCalls::Restart(int32 flags)
{
    restartFlags_.fetch_or(flags);
}

void KvHostCalls::Flush(IComponentHandler* handler)
{
    if (handler == nullptr || InsideHostCall())
        return;
    // The host may call the controller back from its handler: what that
    // asks for waits for the next flush.
    const Scope scope;
    std::vector<PendingEdit> edits;
    edits.swap(edits_);
    for (const PendingEdit& edit : edits)
        handler->performEdit(edit.id, edit.value);
    if (const int32 flags = restartFlags_.exchange(0))
        handler->restartComponent(flags);
}
