#pragma once
// What the engine asks of the engine front that owns it: the stream of
// records bound for the editor, the waiting list of objects with output for
// the editor, the host's time record and file names.

#include <limits>
#include <string>

class QueClient;
class my_output_stream;

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
    virtual void DoAsyncRestart() {}
    virtual void OnFadeOutComplete() {}
    virtual void SetState(int /*a*/, int /*b*/) {}
};
