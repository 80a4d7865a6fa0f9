#pragma once
// What a module asks of its audio master: rate, block size and clocks, its
// place in the skip list, handles, shared lookup tables and the engine front.

#include <cstdint>
#include <string>

#include "engine/runtime/LookupTable.h"

class EventPool;
class EventProcessor;
class IKvShellDsp;
class dsp_msg_target;
class ug_base;
class ug_container;
class ug_patch_automator;
struct my_VstTimeInfo;

class IKvAudioMaster
{
public:
    virtual float SampleRate() = 0;
    virtual int BlockSize() = 0;
    virtual int64_t SampleClock() = 0;
    virtual int BlockPos() = 0;
    virtual int64_t NextGlobalStartClock() = 0;
    virtual int64_t BlockStartClock() = 0;
    virtual void InsertBlockDev(EventProcessor* module) = 0;
    virtual void SuspendModule(ug_base* module) = 0;
    virtual void Wake(EventProcessor* object) = 0;
    // Takes a module whose next event lies at `time` (not before the end of
    // the piece running now) out of the skip list until that piece; false
    // when this master cannot, and the module stays listed.
    virtual bool SleepUntil(EventProcessor* /*module*/, int64_t /*time*/) { return false; }
    virtual void RegisterDspMsgHandle(dsp_msg_target* object, int handle) = 0;
    virtual void AssignTemporaryHandle(dsp_msg_target* object) = 0;
    virtual dsp_msg_target* HandleToObject(int handle) = 0;
    virtual IKvShellDsp* Application() = 0;
    virtual void ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate,
                                      unsigned long size, bool integer, bool create, SharedLookupScope scope) = 0;
    virtual void ServiceGuiQue() = 0;
    virtual my_VstTimeInfo* hostGetTime(int flags) = 0;
    virtual void RegisterPatchAutomator(ug_patch_automator* automator) = 0;
    // DspThread: true for the one automator that drives the editor queues (the
    // first to ask); an oversampler's child never does.
    virtual bool ClaimGuiQueTimer(ug_patch_automator* automator) = 0;
    virtual int64_t CalculateOversampledTimestamp(ug_container* top, int64_t time) = 0;
    virtual int CallVstHost(int opcode, int index, int value, void* ptr, float opt) = 0;
    virtual void MasterReset() = 0;
    virtual void onFadeOutComplete() = 0;
    // Where the events posted to this master's modules come from.
    virtual EventPool* GetEventPool() = 0;

    // Characters a text value may have on the audio thread. Text pins and
    // text parameters take this room when the graph is built; a longer text
    // arriving there is cut to the room, and reported through OnTextCut
    // (audio thread) so that the cut is logged off that thread.
    static constexpr int kMinTextRoom = 256;
    // The largest text an event payload carries from the pool.
    static constexpr int kMaxTextRoom = 1024;
    virtual int TextRoom() { return kMinTextRoom; }
    virtual void OnTextCut(int /*length*/) {}
    // Bytes a blob value may have on the audio thread, taken like the text
    // room. A cut blob would be a different value, so a longer one is refused
    // there (the value before it stays) and reported through OnBlobRefused.
    static constexpr int kMinBlobRoom = 1024;
    static constexpr int kMaxBlobRoom = 4096;
    virtual int BlobRoom() { return kMinBlobRoom; }
    virtual void OnBlobRefused(int /*size*/) {}
    // A parameter's SysEx template from the editor longer than the text room
    // is refused on the audio thread (the template before it stays).
    virtual void OnSysexRefused(int /*length*/) {}

    virtual ~IKvAudioMaster() = default;
};
