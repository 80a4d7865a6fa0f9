#pragma once
// What the engine asks of the engine front that owns it: the stream of
// records bound for the editor, the waiting list of objects with output for
// the editor, the host's time record and file names.

#include <limits>
#include <string>

class QueClient;
class my_output_stream;

// The host's bypass as the plug-in keeps it beside the patch: saved and
// loaded with the preset state. Any thread.
class IHostBypass
{
public:
    virtual ~IHostBypass() = default;
    // On, as the host last switched it or a state last set it.
    virtual bool BypassWanted() const = 0;
    // A state sets it: it takes effect from the start of the next block.
    virtual void BypassFromState(bool on) = 0;
};

class IKvShellDsp
{
public:
    virtual ~IKvShellDsp() = default;

    // Records written here leave for the editor with the next batch.
    virtual my_output_stream* MessageQueToGui() = 0;
    virtual void ServiceDspRingBuffers() = 0;
    // Puts the client on the waiting list (once).
    virtual void RequestQue(QueClient* client, bool immediate) = 0;
    // Audio thread. Values the host shows moved at once (a program change):
    // the waiting list is served and the batch sent before the host's block
    // ends, so that the host hears of them with that block.
    virtual void ServiceAtBlockEnd() {}
    // Audio thread. A host parameter's value moved in the block (the host's
    // point, a MIDI controller bound to it): the host hears of it with that
    // block while the processor's room for batches allows.
    virtual void ReportAtBlockEnd() {}
    // The processor should pass the host's time record every block.
    virtual void NeedTempo() = 0;
    virtual std::wstring ResolveFilename(const std::wstring& name, const std::wstring& extension) = 0;
    virtual std::wstring getDefaultPath(const std::wstring& extension) = 0;
    // The host's bypass, read and set with the preset state by the thread
    // that holds the engine for it; none: always off.
    virtual IHostBypass* HostBypass() { return nullptr; }
    // How many of the patch's programs (the first ones) the host chooses
    // among: a preset state names only one of them as the program its values
    // belong to, and one naming another names none. Fewer than two: none.
    virtual int HostPrograms() { return std::numeric_limits<int>::max(); }
    virtual void DoAsyncRestart() {}
    virtual void OnFadeOutComplete() {}
    virtual void SetState(int /*a*/, int /*b*/) {}
};
