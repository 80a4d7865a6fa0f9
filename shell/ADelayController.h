#pragma once
// The plug-in's edit controller. Host side: the host parameters built from
// parameters.kv.xml plus 130 MIDI controller parameters, a program change and
// a bypass, the MIDI controller mapping, the processor's state and the editor
// view. Editor side: the parameter reads and writes of the editor, the
// messages to and from the processor ("BinaryMessage" carrying message
// records) and the user preset files.
//
// The values of the patch parameters live in the patch store, which the
// controller shares with the processor (it takes it over the connection):
// the host's values, the editor's edits and states are written there, and
// every read reads there. Until it is connected to a processor of the same
// process (or for good, when it is not), it keeps a store of its own, built
// from the parameters document, and passes the host's values on to the
// processor as messages.
//
// Threads: UI, every method: the host calls the controller on its
// user-interface thread, and the editor and its modules call it there too.
// Some hosts call setParamNormalized and setComponentState from a thread of
// their own, or call the processor from one (its batches then reach notify
// there): such a call writes the store at once, and what it changes for the
// editor's automators and its modules waits for the user-interface thread
// (ServiceOtherThreads, from the controller's and the editor's timers and
// the controller's next call there), so they are only ever touched there.
//
// The host's component handler hears of new values inside the host's call
// that brought them (a state, a preset, a program), before it returns: hosts
// keep a copy of the values and refresh it there. Hosts known to hold a lock
// of their own around those calls, which their handler takes too (Ardour),
// are never called back from inside them: their edits and restarts wait
// (KvHostCalls) for the controller's timer on the host's run loop, the
// editor's handlers there, or, for a host that offers no run loop, its next
// call on the user-interface thread that describes or shows parameters or
// opens the editor.
//
// The editor's edits are gestures: beginEdit, the edits, endEdit, for each
// parameter; a drag from the pointer's press to its release is one.

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/StagingMemoryBuffer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "shell/KvParameter.h"
#include "shell/KvHostCalls.h"
#include "shell/KvParameterList.h"

class GuiPatchAutomator2;
class PatchStore;
class KvControllerTimer;
class TiXmlElement;
class MyVstPluginFactory;

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ADelayController : public Steinberg::Vst::EditController,
                         public Steinberg::Vst::IMidiMapping,
                         public Steinberg::Vst::IUnitInfo
{
public:
    // UI
    explicit ADelayController(MyVstPluginFactory* factory);
    ~ADelayController() override;

    // Host parameter ids: patch parameters below kFirstMidiParameter, then one
    // per MIDI controller, channel pressure and pitch bend, then the program
    // change, which the MIDI mapping offers for the host's MIDI program
    // changes. For a patch of several programs it is the program list's own
    // parameter (program p at p / (count - 1)); for a single program it is a
    // hidden one of 127 steps (program p at p / 127).
    static constexpr int kMaxPatchIndex = KvParameterList::kMaxPatchIndex;
    static constexpr int kFirstMidiParameter = 10000;
    static constexpr int kMidiParameterCount = 130;
    static constexpr int kProgramChangeParameter = kFirstMidiParameter + kMidiParameterCount;
    // The plug-in's bypass, after every id it gave before.
    static constexpr int kBypassParameter = kProgramChangeParameter + 1;
    // The id of the one program list, on the root unit.
    static constexpr Steinberg::Vst::ProgramListID kProgramListId = 1;
    // Longer lists are offered to the host as a range of positions.
    static constexpr int kMaxListItems = KvParameterList::kMaxListItems;

    // UI: IPluginBase
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API terminate() SMTG_OVERRIDE;
    // UI. The host's run loop is found on the handler, else on the host's
    // context, and the controller's timer is registered there.
    Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) SMTG_OVERRIDE;
    // UI. IDependent: a host parameter changed; the editors' automators hear of it.
    void PLUGIN_API update(Steinberg::FUnknown* changedUnknown, Steinberg::int32 message) SMTG_OVERRIDE;
    // IConnectionPoint: the processor's batch: the editors' automators hear
    // of the values the engine moved, "sdk" records reach the module of their
    // handle in every open editor. The processor sends its batches in answer
    // to the controller's messages (PollProcessor among them) and to the
    // host's calls, on the thread of the call: a batch that comes on another
    // thread than the user-interface thread is read there later, after those
    // before it (ServiceOtherThreads). The processor's store comes this way.
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    // The processor is asked for its store.
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
    // UI: IEditController
    // The processor's state, written into the store whole (its program,
    // its values, the bypass as saved: off when the state does not say);
    // the host is asked to reread.
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    // The controller's own state: the values of the host parameters that no
    // patch parameter of the DSP document holds, which only the controller
    // keeps. Without such parameters it is empty. UI, or a thread of the
    // host's (the automators then hear of it on the user-interface thread).
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;
    // An index outside the parameters: kInvalidArgument.
    Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                   Steinberg::Vst::ParameterInfo& info) SMTG_OVERRIDE;
    // Conversions of an unknown id give 0, not the value passed in.
    Steinberg::Vst::ParamValue PLUGIN_API normalizedParamToPlain(Steinberg::Vst::ParamID tag,
                                                                 Steinberg::Vst::ParamValue valueNormalized) SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue PLUGIN_API plainParamToNormalized(Steinberg::Vst::ParamID tag,
                                                                 Steinberg::Vst::ParamValue plainValue) SMTG_OVERRIDE;
    // Host values: NaN and infinities refused, texts our own and bounded.
    // Every value is the host's, written into the store at once from any
    // thread; the processor plays it from the next block. The program-change
    // parameter chooses a program: its memory is the current one, and the
    // host is asked to reread the values (see the class comment for when).
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID tag,
                                                     Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    // Any thread: the store's value for what it holds, else the parameter's.
    Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID tag) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID tag,
                                                        Steinberg::Vst::ParamValue valueNormalized,
                                                        Steinberg::Vst::String128 string) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID tag, Steinberg::Vst::TChar* string,
                                                        Steinberg::Vst::ParamValue& valueNormalized) SMTG_OVERRIDE;
    // UI: IMidiMapping
    Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                              Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                              Steinberg::Vst::ParamID& id) SMTG_OVERRIDE;

    // UI: IUnitInfo. One unit, the root; it has the patch's program list
    // when the patch has more than one program.
    Steinberg::int32 PLUGIN_API getUnitCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex, Steinberg::Vst::UnitInfo& info) SMTG_OVERRIDE;
    Steinberg::int32 PLUGIN_API getProgramListCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getProgramListInfo(Steinberg::int32 listIndex,
                                                     Steinberg::Vst::ProgramListInfo& info) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
                                                 Steinberg::Vst::String128 name) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getProgramInfo(Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
                                                 Steinberg::Vst::CString attributeId,
                                                 Steinberg::Vst::String128 attributeValue) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API hasProgramPitchNames(Steinberg::Vst::ProgramListID listId,
                                                       Steinberg::int32 programIndex) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getProgramPitchName(Steinberg::Vst::ProgramListID listId,
                                                      Steinberg::int32 programIndex, Steinberg::int16 midiPitch,
                                                      Steinberg::Vst::String128 name) SMTG_OVERRIDE;
    Steinberg::Vst::UnitID PLUGIN_API getSelectedUnit() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API selectUnit(Steinberg::Vst::UnitID unitId) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getUnitByBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                               Steinberg::int32 busIndex, Steinberg::int32 channel,
                                               Steinberg::Vst::UnitID& unitId) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setUnitProgramData(Steinberg::int32 listOrUnitId, Steinberg::int32 programIndex,
                                                     Steinberg::IBStream* data) SMTG_OVERRIDE;
    // The patch's program names, one per program.
    const std::vector<std::string>& ProgramNames() const { return programNames_; }

    // UI: editor services.
    void setParameterFromGui(int handle, int field, int size, const void* data);
    bool getParameterValue(int handle, int field, std::string& out);
    int getParameterHandle(int moduleHandle, int moduleParamId) const;
    void AddPatchAutomator(GuiPatchAutomator2* automator);
    void RemovePatchAutomator(GuiPatchAutomator2* automator);
    // False when no message could be made or the record did not fit.
    bool ParamToDsp(int handle, const KvParameter& record);
    // Whether the store holds the value of the record of `handle`, and
    // whether it holds its host figure alone.
    bool Stored(int handle) const;
    bool Figure(int handle) const;
    // The raw value of a record: the store's, else the record's own.
    std::string RecordValue(int handle, const KvParameter& record) const;
    bool sendMessageToAudio(int handle, int messageId, int size, const void* data);
    // UI: the timers, and the host's calls. Passes what calls from other
    // threads changed since the last time on to the records and the editors'
    // automators.
    void ServiceOtherThreads();
    // UI: the controller's timer on the host's run loop.
    void OnRunLoopTimer();
    // UI. Makes the handler calls that wait, unless this is inside a call
    // the host made into the plug-in and the host is one that holds its
    // lock there; then they wait on.
    void FlushHostCalls();
    // UI: the editor's pointer was pressed (true) or released (false). The
    // edits in between are one gesture for each parameter they edit; other
    // edits are a gesture each.
    void PointerHeld(bool held);
    // UI. Asks the processor for the engine's batches that wait; they arrive
    // through notify, possibly before this returns. The open editor's timer
    // calls this. False when no message could be made or sent.
    bool PollProcessor();
    int resolveFilename(const wchar_t* name, int maxChars, wchar_t* result) const;
    // False when the file could not be written / read.
    bool ExportPresetXml(const std::string& path);
    bool ImportPresetXml(const std::string& path);

    const std::map<int, KvParameter>& Parameters() const { return parameters_; }
    MyVstPluginFactory* Factory() const { return factory_; }
    const std::vector<GuiPatchAutomator2*>& Automators() const { return automators_; }

    // UI. The name ExportPresetXml writes for a chosen path.
    static std::string PresetFileName(const std::string& path);

    OBJ_METHODS(ADelayController, EditController)
    DEFINE_INTERFACES
        DEF_INTERFACE(IMidiMapping)
        DEF_INTERFACE(IUnitInfo)
    END_DEFINE_INTERFACES(EditController)
    REFCOUNT_METHODS(EditController)

protected:
    // UI, at the start of a host call into the controller that describes or
    // shows parameters, or opens the editor: a host without a run loop hears
    // here of what waits for it.
    void ServeHostCallsBeforeHostCall();

private:
    void AttachRunLoop();
    void FindRunLoop();
    void DetachRunLoop();
    // Takes the entries' records and host parameters.
    void BuildParameters(std::vector<KvParameterEntry>& entries);
    void AddMidiParameters();
    void AddBypassParameter();
    void ReleaseDependencies();
    // The host parameter of a record, or null.
    Steinberg::Vst::Parameter* HostParameter(const KvParameter& record);
    void NotifyAutomators(int handle);
    // Tells the host that values changed without its asking (a state, a
    // preset or a program was loaded), so that it reads them all again.
    // Any thread: the restart waits for FlushHostCalls on the
    // user-interface thread, outside the host's calls.
    void ValuesChanged();
    // A program became current (the store's, whoever chose it): the
    // automators hear of every value, and the host is asked to reread.
    // `chosen`: by a program choice or a state, not by the connection.
    void ProgramShown(bool chosen);
    // UI. A host told of programs by the blocks that play them (Ardour)
    // takes those values into its copy without a word to its controls, and
    // a reread it makes later finds nothing new: it hears of each value of
    // the program, or of a state, as an edit, at once, inside its own call
    // too; and what it writes back later is that state's, not what the
    // program it restored before the state held. No gesture is begun, so
    // automation in Touch mode records none of them.
    void EditProgramValues();
    // UI, on initialize: the controller's own store, from the parameters
    // document's records of the patch parameters that the DSP document `dsp`
    // holds; and the host parameters of patch parameters that it has no
    // patch parameter for (ownValues_), and the MIDI controllers its patch
    // parameters answer to (controllerOfHandle_).
    void BuildOwnStore(const std::vector<KvParameterEntry>& entries, const std::set<int>& patchHandles);
    std::set<int> FindOwnValues(const std::string& dsp);
    // The processor's store replaces the controller's own: what the host
    // set on the controller meanwhile is set on it, in the host's order.
    void TakeStore(std::shared_ptr<PatchStore> store);
    // Whether the host is told of program loads as output changes of the
    // block that plays them: it cannot be asked to reread inside its calls
    // and offers no run loop.
    void TellHostOfPrograms();
    // Any thread: the automators hear of the handle on the user-interface thread.
    void DeferUpdate(int handle);
    // UI: what others changed in the store since (the engine, a state, a
    // call on another thread) reaches the automators.
    void ShowStoreChanges();
    // A host parameter takes a value from the editor or the host: edits of
    // the editor that wait for the host are dropped. Any thread; off the
    // user-interface thread what the automators hear waits for it.
    Steinberg::tresult ApplyParamNormalized(Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue value);
    // The handle of the record whose host parameter is `id`, or -1.
    int HandleOf(Steinberg::Vst::ParamID id) const;
    // A controller keeping its own store passes the host's value on.
    void PassOn(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    void EditHostParameter(const KvParameter& record, double plain);
    // UI: the host parameter takes the editor's value, and the host hears of
    // the edit (FlushHostCalls).
    void EditFromGui(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    bool HostValue(const KvParameter& record, const Steinberg::Vst::Parameter& host, std::string& out);
    bool SendRecord(int handle, int32_t id, const std::string& payload);
    // A saved-state value text for a record the store does not hold, by the
    // shared value rule: its raw form, and its plain value for the host (NaN
    // for texts and blobs). False when the rule refuses it.
    bool ConformStateValue(const KvParameter& record, const char* text, std::string& raw, double& plain) const;
    void ReadBatch(const unsigned char* bytes, int size);

    // Whether the caller is the thread that initialized the controller or
    // created its last view: the user-interface thread.
    bool OnUiThread() const { return std::this_thread::get_id() == uiThread_.load(); }

    MyVstPluginFactory* factory_;
    std::atomic<std::thread::id> uiThread_{std::this_thread::get_id()};
    // For the user-interface thread, from calls on other threads: handles
    // whose automators must hear of them, and the processor's batches in the
    // order they came (beyond kMaxPendingBatchBytes the oldest go).
    static constexpr std::size_t kMaxPendingBatchBytes = 4u << 20;
    std::mutex otherThreadsMutex_;
    std::vector<int> pendingUpdates_;
    std::deque<std::string> pendingBatches_;
    std::size_t pendingBatchBytes_ = 0;
    // Any thread: a batch read on another thread waits for the UI thread.
    void DeferBatch(const unsigned char* bytes, int size);
    // The store: the processor's, or the controller's own until it has one.
    // Both live as long as the controller; calls on any thread read store_.
    std::shared_ptr<PatchStore> ownStore_;
    std::shared_ptr<PatchStore> sharedStore_;
    std::atomic<PatchStore*> store_{nullptr};
    PatchStore& Store() const { return *store_.load(std::memory_order_acquire); }
    bool Shared() const { return store_.load(std::memory_order_acquire) != ownStore_.get(); }
    // What the host set on the controller's own store, in order, for the
    // processor's when it comes: host values, or (id -1) a state's text.
    struct Unshared
    {
        int id = -1;
        double value = 0.0;
        std::string state;
    };
    std::mutex unsharedMutex_;
    std::vector<Unshared> unshared_;
    // Edits and restarts for the host's handler.
    KvHostCalls hostCalls_;
    // The host's run loop, and the controller's timer registered there.
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
    KvControllerTimer* timer_ = nullptr;
    static constexpr int kTimerMilliseconds = 40;
    std::map<int, KvParameter> parameters_;
    // The record of each host parameter, by id; set by initialize.
    std::map<Steinberg::Vst::ParamID, int> handleOfIndex_;
    std::vector<GuiPatchAutomator2*> automators_;
    // Host parameters that this controller is a dependent of.
    std::vector<Steinberg::Vst::Parameter*> watched_;
    StagingMemoryBuffer staging_;
    std::vector<std::string> programNames_;
    // UI: the editor's pointer is held, and the parameters whose gesture it holds open.
    bool pointerHeld_ = false;
    std::vector<Steinberg::Vst::ParamID> openGestures_;
    // Host parameter ids whose values only the controller holds, in order.
    std::vector<Steinberg::Vst::ParamID> ownValues_;
    // The MIDI controller that the record of a handle answers to, by the DSP
    // document: the controller's parameter shows the record's value.
    std::map<int, int> controllerOfHandle_;
    // The handle whose value each of those controllers shows (the first).
    std::map<int, int> handleOfController_;
    // The normalised value a controller's parameter shows for the record of
    // `handle`, as the engine normalises what a controller moves; false
    // when it has none. Any thread.
    bool BoundNormalized(int handle, double& normalized) const;
    // UI. The parameter of the MIDI controller that `handle` answers to
    // takes its value, normalised as the engine normalises a controller's;
    // when it changes, the host rereads (unless `tellHost` is false).
    void ShowBoundController(int handle, bool tellHost = true);
    // UI: ServiceOtherThreads is running; a batch is being read.
    bool servicing_ = false;
    bool readingBatch_ = false;
    // UI: the parameter the host is setting while what waits for this
    // thread is served: what waits to be told of it is older than the
    // host's value, and is not told; the rest is told once it is in place.
    Steinberg::Vst::ParamID hostSets_ = Steinberg::Vst::kNoParamId;
    // UI: the host reread every value inside one of its value calls. A host
    // passing on values it held (JUCE's, those set off its message thread)
    // read there the figures of those still to come: each that comes has it
    // reread again, until the run loop turns or a state call.
    bool rereadInHostSets_ = false;
};
#pragma GCC diagnostic pop
