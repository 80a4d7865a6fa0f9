#pragma once
// The controller's calls to the host's component handler (performEdit,
// restartComponent), kept until the host holds none of its own locks for us.
// Hosts hold their locks while they call into the plug-in (Ardour around its
// program and preset loading), and a handler call made then can wait on the
// host itself for good. So the calls wait here, in order, and are made from
// the plug-in's own callbacks on the host's run loop (the controller's timer,
// the editor's event and timer handlers), or, for a host that offers no run
// loop, when the host next asks the controller on its user-interface thread
// to describe or show parameters: never within the call that asked for
// them.

#include <atomic>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"

class KvHostCalls
{
public:
    // Any thread: marks a call the host made into the plug-in, for as long
    // as it lives. Scopes nest.
    class Scope
    {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };
    // Any thread: whether this thread is inside a call the host made into
    // the plug-in (or inside the handler calls made here).
    static bool InsideHostCall();

    // UI thread: the host is to hear of an edit. A parameter waits once:
    // a later value takes the place of the one that waits.
    void Edit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    // Any thread: the host is to reread what the flags say, once for all
    // the asks that wait.
    void Restart(Steinberg::int32 flags);
    // UI thread, outside any host call: makes the calls that wait, edits
    // first, then one restart. Without a handler they keep waiting.
    void Flush(Steinberg::Vst::IComponentHandler* handler);

private:
    struct PendingEdit
    {
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;
    };
    std::vector<PendingEdit> edits_;
    std::atomic<Steinberg::int32> restartFlags_{0};
};
