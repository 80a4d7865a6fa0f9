#pragma once
// engine/graph/: the module graph. The unit generator base, its pins (UPlug)
// and their audio blocks, containers and their voice clones, and the modules
// the engine adds while it joins a graph (adders, default setters), with the
// stepped outputs and MIDI input filter that modules share.
// Threads: graphs are built, joined and torn down while the processor is
// set up, on the host's user-interface thread; they run on the audio thread.
//
// The base of every unit generator: pins, the current process function,
// cutting a piece of the block at event times, input variables updated from
// pin events, values sent downstream, static run-out and sleep, suspension.

#include <cstdint>
#include <string>
#include <vector>

#include "core/EPlugDataType.h"
#include "engine/events/EventProcessor.h"
#include "engine/runtime/LookupTable.h"
#include "engine/graph/UPlug.h"

class CUGLookupList;
class InterfaceObject;
class Module_Info;
class TiXmlElement;
class my_input_stream;
class ug_container;

class ug_base : public EventProcessor
{
public:
    // Module flag bits (flags_).
    enum UgFlags : uint32_t
    {
        UGF_PINS_MAY_BE_TIED = 0x1,
        UGF_VOICE_MON_IGNORE = 0x2,
        UGF_POLYPHONIC = 0x4,
        UGF_PP_REACHED = 0x10,
        UGF_POLYPHONIC_SOURCE = 0x20,
        UGF_POLYPHONIC_AGGREGATOR = 0x40,
        // 0x80 suspended: UGF_SUSPENDED (EventProcessor)
        UGF_OPEN = 0x100,
        UGF_NEVER_SUSPEND = 0x200,
        UGF_THIRD_SOURCE = 0x400,
        UGF_SIMD_OVERWRITES_BUFFER_END = 0x800,
        UGF_AUTOMATOR = 0x2000,
        UGF_PARAMETER_SETTER = 0x40000,
        UGF_PARAMETER_WATCHER = 0x80000,
        UGF_CLONED = 0x100000,
        UGF_VOICE_MUTE = 0x200000,
        UGF_DEFAULT_SETTER = 0x400000,
        UGF_UPSTREAM_PARAMETER = 0x800000,
        UGF_SNAPSHOT_UPSTREAM = 0x1000000,
    };

    using process_func_ptr = void (ug_base::*)(int blockPosition, int sampleFrames);

    ug_base();
    ~ug_base() override;

    // Events and processing.
    void OnUiMsg(int id, my_input_stream& stream) override;
    void DoProcess(int blockPosition, int sampleFrames) override { RunPiece(blockPosition, sampleFrames); }
    // The piece as a module whose class keeps DoProcess as it is here runs
    // it: the block loop calls it directly for those (see plainPiece_).
    // Audio thread, like the copies functions below.
    void RunPiece(int blockPosition, int sampleFrames)
    {
        const int64_t end = sampleClock_ + sampleFrames;
        // Most pieces have no event: the whole piece in one call.
        if (NoEventBefore(end))
        {
            if (sampleFrames > 0)
                (this->*processFunction_)(blockPosition, sampleFrames);
            sampleClock_ = end;
            return;
        }
        DoProcessEvents(blockPosition, sampleFrames);
    }
    void HandleEvent(KorvaneEvent* event) override;
    void OnUiNotify(int code, int value) override;

    // A new, empty instance of the module's own class.
    virtual ug_base* Create() = 0;
    virtual void BuildHelperModule() {}
    // Pins, handle and pin settings from the module's element of the patch
    // document. Without an element the module takes a temporary handle.
    virtual void Setup(IKvAudioMaster* master, TiXmlElement* element);
    virtual void QueProgramChange(int64_t /*time*/, int /*program*/) {}
    virtual void Suspend();
    // The module's voice restarts: its new note starts at `time`, which may
    // lie inside the piece the module is about to run.
    virtual void Resume(int64_t time);
    virtual void onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/) {}
    virtual void ListInterface2(std::vector<InterfaceObject*>& /*pins*/) {}
    virtual int Open();
    virtual int Close();
    virtual void OnUiNotify2(int id, my_input_stream& stream);
    virtual bool PPGetActiveFlag();
    virtual void SetPPVoiceNumber(int voice);
    virtual void SetupDynamicPlugs();
    virtual void assignPlugVariable(int /*pinId*/, UPlug* /*pin*/) {}
    virtual void OnProgChange(short /*patch*/, int /*unused*/) {}
    virtual bool isEventListEmpty() { return EventListEmpty(); }

    // Posts a pin value to this module (the receiver).
    void SetPinValue(int64_t time, int pinIndex, int datatype, const void* data, int size);
    void SendPinsCurrentValue(int64_t time, UPlug* output);
    void SendPendingOutputChanges();
    void ResetStaticOutput();
    void SleepMode();
    void UpdateInputVariable(const KorvaneEvent* event);
    void AddFixedPlugs();

    // Process functions shared by every module.
    void process_nothing(int /*blockPosition*/, int /*sampleFrames*/) {}
    void process_sleep(int blockPosition, int sampleFrames);

    template <class T>
    void SetProcessFunction(void (T::*function)(int, int))
    {
        processFunction_ = static_cast<process_func_ptr>(function);
        copiesFunction_ = nullptr;
    }
    // A process function the block loop may run for a row of modules that
    // stand together in the list and have it too (the copies of a module in
    // its voices, say): one call for them all.
    template <auto Function>
    void SetProcessFunction()
    {
        SetProcessFunction(Function, &RunCopies<Function>);
    }
    // The copies function is kept for a plain module only: the block loop
    // runs a module that has one by it, past its class's own DoProcess.
    template <class T>
    void SetProcessFunction(void (T::*function)(int, int), copies_func_ptr copies)
    {
        processFunction_ = static_cast<process_func_ptr>(function);
        copiesFunction_ = plainPiece_ ? copies : nullptr;
    }
    // The copies function of a process function: each module of the row by
    // the function itself, taken into the loop, without a call through a
    // pointer.
    template <auto Function>
    [[gnu::flatten]] static EventProcessor* RunCopies(EventProcessor* first, int blockPosition, int sampleFrames)
    {
        using C = typename MemberOf<decltype(Function)>::type;
        const copies_func_ptr self = &RunCopies<Function>;
        const int64_t clock = first->sampleClock_;
        const int64_t end = clock + sampleFrames;
        for (auto* module = static_cast<ug_base*>(first);;)
        {
            FetchAhead(module->next_);
            (static_cast<C*>(module)->*Function)(blockPosition, sampleFrames);
            module->sampleClock_ = end;
            // Read after the run, as the block loop does: one an earlier one
            // took out of the list is passed by. The list's head has no copies
            // function.
            EventProcessor* next = module->next_;
            if (!next->JoinsRow(self, clock, end))
                return module;
            module = static_cast<ug_base*>(next);
        }
    }
    // For a copies function that runs its modules in batches: runs `lead`
    // and the modules after it in the list that `joins` takes (the module,
    // or null to end the row), up to kMaxBatch at a time by `run(batch,
    // count)`, and sets their clocks to `end`; returns the last. A batch's
    // links are read before it runs: `run` may change no link.
    template <int kMaxBatch, class T, class Joins, class Run>
    static EventProcessor* RunInBatches(T* lead, int64_t end, Joins&& joins, Run&& run)
    {
        T* batch[kMaxBatch];
        T* next = lead;
        for (;;)
        {
            int count = 0;
            while (next && count < kMaxBatch)
            {
                batch[count++] = next;
                FetchAhead(next->next_);
                next = joins(next->next_);
            }
            run(batch, count);
            for (int k = 0; k < count; ++k)
                batch[k]->sampleClock_ = end;
            if (!next)
                return batch[count - 1];
        }
    }
    process_func_ptr GetProcessFunction() const { return processFunction_; }

    UPlug* GetPlug(const std::wstring& name);
    UPlug* GetPlug(int index) { return index >= 0 && index < static_cast<int>(plugs_.size()) ? plugs_[index] : nullptr; }
    UPlug* GetPlugById(int id);
    void AddPlug(UPlug* pin);
    void SetPolyphonic(bool polyphonic);
    ug_base* CloneOf() { return cloneOf_; }

    // Shared tables through the audio master; true when the caller must fill the table.
    bool CreateSharedLookup2(const std::wstring& name, ULookup*& table, int sampleRate, unsigned long size,
                             bool create, SharedLookupScope scope);
    bool CreateSharedLookup2(const std::wstring& name, ULookup_Integer*& table, int sampleRate, unsigned long size,
                             bool create, SharedLookupScope scope);
    int allocateSharedMemory(const wchar_t* name, void** data, float sampleRate, int sizeBytes,
                             int& needsInitialising, int scope);

    std::wstring DebugModuleName(bool withHandle = false) const;

    // Joins an output to an input. A second source on an audio input is summed
    // by an adder that the input's container places in front of it.
    static void connect(UPlug* from, UPlug* to);

    // Graph building, after the modules are joined.
    // Set-up of a module made in code: temporary handle, the container's master.
    void SetupWithoutCug();
    // Every non-MIDI input without a source gets its default from a setter.
    void SetUnusedPlugs2();
    // Follows the first fed input upstream to a module with no source.
    ug_base* GetUpstreamModule();
    // Numbers this module after every module it feeds; false when a loop was met.
    bool CalcSortOrder2(int& maxOrder);
    void FlagUpStream(uint32_t flag);
    // Lets the input read the source's block directly.
    virtual bool BypassPin(UPlug* source, UPlug* input);
    bool AddBypassRoute(int inputIndex, int outputIndex);
    void ClearBypassRoutes(int inputIndex, int outputIndex);

    // Per-voice copies and polyphony propagation (ug_base_poly.cpp).
    // A copy for another voice, appended to this module's clone chain.
    virtual ug_base* Clone(CUGLookupList& lookup);
    virtual void CloneConnectorsFrom(ug_base* model, CUGLookupList& lookup);
    virtual void CopyConnectorsFrom(ug_base* model, CUGLookupList& lookup);
    // Marks this module and everything it feeds as reached by polyphony;
    // false when the walk met a polyphonic source (a loop of voices).
    virtual bool PPSetDownstream();
    virtual void PPSetUpstream();
    virtual void PPPropogateVoiceNum(int voice);
    // A note source that plays voices of its own numbers the modules its
    // outputs feed with those voices (a drum per voice); nothing here.
    virtual void PPPropogateVoiceNums() {}
    virtual void PPPropogateVoiceNumUp(int voice);
    void SetupClone(ug_base* clone);
    void AddPlugs(ug_base* model);
    // A voice mute and an adder wherever this polyphonic module feeds one
    // that runs once for all voices.
    void InsertVoiceAdders();
    // Starts polyphony from outputs that carry per-voice values.
    bool InitSetDownstream();

    // What a run reads first, in one cache line after the event processor's.
    process_func_ptr processFunction_;
    int32_t voiceNumber_ = -1;
    int32_t staticOutputCountdown_ = 0;
    ug_container* parentContainer_ = nullptr;
    std::vector<UPlug*> plugs_;
    ug_container* patchControlContainer_ = nullptr;
    ug_base* cloneOf_;
    ug_base* nextClone_ = nullptr;
    // Named as the module registry sets it on the units it makes.
    Module_Info* moduleType = nullptr;

private:
    template <class T>
    struct MemberOf;
    template <class C>
    struct MemberOf<void (C::*)(int, int)>
    {
        using type = C;
    };

    // A piece with events due in it: cut at each event's time.
    void DoProcessEvents(int blockPosition, int sampleFrames);
    void ConfigurePins(TiXmlElement* plugsElement);
    // Hands a pin bound to a parameter or host control to the container's setter or watcher.
    void BindPinToParameter(UPlug* pin, TiXmlElement* entry);
    // Pins whose description carries a host control, on modules made in code.
    void BindHostControlledPins();
    bool AddBypassRoutePt2(UPlug* source, UPlug* output, int depth);
    void GiveUnfedAudioInputsABlock();
};
