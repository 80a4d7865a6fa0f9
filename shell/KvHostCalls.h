#pragma once
// The controller's calls to the host's component handler (beginEdit,
// performEdit, endEdit, restartComponent), kept in order until they may be
// made. Most hosts want them at once, inside their own calls: they refresh
// their copy of the values there. Hosts known to hold their own locks while
// they call into the plug-in (Ardour around its program and preset loading,
// with a handler that takes the same lock) would wait on themselves for
// good: for them the calls wait, and are made from the plug-in's own
// callbacks on the host's run loop (the controller's timer, the editor's
// event and timer handlers), or, for a host that offers no run loop, when
// the host next asks the controller on its user-interface thread to
// describe or show parameters: never within the call that asked for them.

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

    // UI thread: whether the calls wait until the host's own call returned
    // (a host that holds its lock there); else they are made at once.
    void WaitOutsideHostCalls(bool wait) { waitOutside_ = wait; }
    bool WaitsOutsideHostCalls() const { return waitOutside_; }

    // UI thread: a gesture of the editor on a parameter starts, carries an
    // edit, ends. In a gesture an edit that waits takes the newer value.
    void Begin(Steinberg::Vst::ParamID id);
    void Edit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    void End(Steinberg::Vst::ParamID id);
    // UI thread: the parameter took a newer value than its edits that wait
    // (the host's, a program's, a state's): they are dropped, never sent
    // after it. Their gesture's begin and end stay.
    void Overtaken(Steinberg::Vst::ParamID id);
    void OvertakenAll();
    // Any thread: the host is to reread what the flags say, once for all
    // the asks that wait.
    void Restart(Steinberg::int32 flags);
    // UI thread: whether a restart waits for the host.
    bool RestartWaits() const { return restartFlags_.load() != 0; }
    // UI thread: makes the calls that wait, in order, then one restart;
    // inside a host call only when the host does not wait for its return.
    // Without a handler they keep waiting.
    void Flush(Steinberg::Vst::IComponentHandler* handler);
    // UI thread: makes the gestures that wait, in order, even inside a host
    // call of a host that waits for its return: such a host's handler takes
    // its lock only to reread (the restart, which waits on), not for edits.
    void FlushEdits(Steinberg::Vst::IComponentHandler* handler);

private:
    enum class Kind
    {
        Begin,
        Edit,
        End
    };
    struct Pending
    {
        Kind kind;
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;
    };
    void Make(Steinberg::Vst::IComponentHandler* handler, bool restart);

    std::vector<Pending> calls_;
    std::atomic<Steinberg::int32> restartFlags_{0};
    bool waitOutside_ = true;
    bool flushing_ = false;
};
