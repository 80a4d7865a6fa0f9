#pragma once
// engine/runtime/: what runs a graph. SynthRuntime is the DSP side of one
// plug-in instance; KvAudioMaster builds the graph from the DSP patch
// document and runs it block by block; audio masters keep the clocks, the
// skip list of awake modules, handles and the shared lookup tables.
// Threads: built and rebuilt on the user-interface thread while the processor
// is set up; the block loop runs on the audio thread; editor messages cross
// between the two through lock-free queues, and the patch's values are kept
// in a store both read and write (PatchStore).
//
// The engine of one plug-in instance: builds the module graph from the DSP
// patch document, owns the top container, attaches the host input and output
// modules, runs the graph for each host block, routes editor messages by
// handle, and hears the store of values at the start of each block.

#include <atomic>
#include <thread>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/interThreadQue.h"
#include "engine/parameters/PatchStore.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/events/dsp_msg_target.h"
#include "engine/runtime/my_VstTimeInfo.h"

class IDspPatchManager;
class DspPatchManager;
class TiXmlElement;
class ug_container;
class ug_vst_in;
class ug_vst_out;
struct MidiOutputBuffer;

class KvAudioMaster : public AudioMasterBase, public interThreadQueUser, public dsp_msg_target
{
public:
    KvAudioMaster(float sampleRate, IKvShellDsp* application);
    ~KvAudioMaster() override;

    // Builds the graph; false when there is none (text that does not parse,
    // no DSP content, no container). The reasons are in BuildMessages().
    bool BuildDspGraph(const char* xmlText);
    bool HasGraph() const { return top_ != nullptr; }
    const std::vector<std::string>& BuildMessages() const { return buildMessages_; }

    // Opens the graph; without one the engine stays closed and silent.
    void Open();
    void Close();
    void SetRunning(bool running) { running_ = running; }
    bool IsRunning() const { return running_; }

    // Runs one host block. Channels the graph has no pin for are silenced;
    // pins the host has no channel for read silence or write to scratch.
    void DoProcess(int sampleCount, float** inputs, float** outputs, int inputCount, int outputCount,
                   int inputStride = 1, int outputStride = 1, int extra = 0);
    // Host MIDI, due offset samples into the coming block.
    void MidiIn(int offset, const unsigned char* bytes, int count);
    // Audio thread: whether the main patch's parameters bound to MIDI
    // controller `controller` stand where a message of `value` puts them.
    bool ControllerStandsAt(int controller, int value);
    // The host's time record of this block, for every registered patch automator.
    void UpdateTempo(my_VstTimeInfo* info);
    // The host's normalised value of a parameter, whole (double): it picks
    // the plain value exactly as the host's own conversion does.
    void setParameterNormalizedDsp(int offset, int parameterId, double value);
    // Audio thread, before the coming block: the host chose a program. The
    // main patch manager changes to it whatever the graph does with MIDI.
    // Audio thread: the main patch manager moves to a program at the
    // block's sample `offset`.
    void setProgramDsp(int program, int offset = 0);
    // The program that plays.
    int ProgramDsp();

    int getNumInputs() const;
    int getNumOutputs() const;
    MidiOutputBuffer* getMidiOutputBuffer();

    // Text room of the graph (IKvAudioMaster), decided when it is built from
    // the longest text its document carries.
    int TextRoom() override { return textRoom_; }
    void OnTextCut(int length) override { textCuts_.Add(length); }
    int BlobRoom() override { return blobRoom_; }
    void OnBlobRefused(int size) override { blobRefusals_.Add(size); }
    void OnSysexRefused(int length) override { sysexRefusals_.Add(length); }
    // Adds a line to BuildMessages() for the texts cut, and the blobs and
    // SysEx templates refused, on the audio thread since the last call, if
    // any. User-interface thread.
    void LogTextCuts_UI_THREAD();

    // The preset state: through the patch store once the engine is attached
    // to one (any thread but the audio thread), else the main patch
    // manager's own (only while no block runs). `processing` is not read.
    void getPresetState_UI_THREAD(std::string& out, bool processing);
    void setPresetState_UI_THREAD(const std::string& text, bool processing);
    // User-interface thread, once the graph is built and opened, while no
    // block runs: the main patch manager's values are the store's from now on.
    void AttachStore(PatchStore& store, int hostPrograms, int programSteps,
                     const std::vector<PatchStore::Shape>& figures);
    PatchStore* Store() const { return store_; }
    // The patch manager that holds the patch: the main container's, or the
    // one its proxy stands for; null without one.
    DspPatchManager* StoreManager();
    // Audio thread, at a block's start, the store entered: a program others
    // chose (true then; unless `programInBlock`: the block chooses it at its
    // sample) and the values they set since the last block play.
    bool HearStore(bool programInBlock = false);

    // Audio thread: marks the engine as the audio thread's for as long as it
    // lives, around everything a host block does with it. entered() is false
    // only once the engine is retired: the block must then leave it alone.
    // It never waits.
    class BlockScope
    {
    public:
        explicit BlockScope(KvAudioMaster& master) : depth_(master.blockDepth_)
        {
            depth_.fetch_add(1);
            entered_ = !master.retired_.load();
        }
        ~BlockScope() { depth_.fetch_sub(1); }
        BlockScope(const BlockScope&) = delete;
        BlockScope& operator=(const BlockScope&) = delete;
        bool entered() const { return entered_; }

    private:
        std::atomic<int>& depth_;
        bool entered_ = false;
    };

    // User-interface thread, before the engine is replaced: no block starts
    // in it from here on (BlockScope::entered() stays false), and the one
    // running is waited for.
    void Retire();
    // User-interface thread, on a retired engine whose state was read: frees
    // its graph and the tables the graph shared, before a new engine is
    // built. Blocks that still find the engine leave it alone.
    void ReleaseGraph();

    void SetBypass(bool bypass);
    void SetDucked(bool ducked);

    // Records to the editor.
    void UpdateUI();
    void ugmessage(const std::wstring& text, int type);

    ug_container* TopContainer() { return top_; }
    ug_container* MainContainer() { return main_; }
    ug_vst_in* HostInput() { return vstIn_; }
    ug_vst_out* HostOutput() { return vstOut_; }

    // dsp_msg_target
    void OnUiMsg(int id, my_input_stream& stream) override;
    // interThreadQueUser
    bool onQueMessageReady(int handle, int id, my_input_stream& stream) override;

    // IKvAudioMaster
    void ServiceGuiQue() override;
    my_VstTimeInfo* hostGetTime(int flags) override;
    void RegisterPatchAutomator(ug_patch_automator* automator) override;
    void MasterReset() override;
    void onFadeOutComplete() override;

    static constexpr int kMaxMidiMessageBytes = 65536;

private:
    // Nesting is bounded by the document check before parsing.
    void BuildModules(ug_container* container, ug_container* patchManagerContainer, TiXmlElement* element);
    void BuildContainerModule(ug_container* container, ug_container* patchManagerContainer,
                              TiXmlElement* moduleElement);
    void ConnectLines(TiXmlElement* element);
    bool SetupVstIO();
    // The factor rule: `insideOversampled` when the enclosing container already runs oversampled.
    int OversampleFactor(TiXmlElement* moduleElement, bool insideOversampled) const;
    bool IsOversampled(ug_container* container) const;
    void Log(const std::string& text);
    void SendRecord(int32_t id);
    void DiscardGraph();
    // The main container's patch manager, looked up each time: it may be set
    // after the graph is built.
    IDspPatchManager* MainPatchManager();

    ug_container* top_ = nullptr;
    ug_container* main_ = nullptr;
    ug_vst_in* vstIn_ = nullptr;
    ug_vst_out* vstOut_ = nullptr;
    bool opened_ = false;

    // Set by the audio thread while it runs a block; set by Retire, after
    // which no block enters.
    std::atomic<int> blockDepth_{0};
    std::atomic<bool> retired_{false};
    PatchStore* store_ = nullptr;
    DspPatchManager* storeManager_ = nullptr;
    std::atomic<bool> running_{false};
    bool bypass_ = false;

    std::vector<ug_patch_automator*> patchAutomators_;
    my_VstTimeInfo timeInfo_;
    std::vector<std::string> buildMessages_;
    // Values too long for their room, counted on the audio thread.
    struct Overflows
    {
        void Add(int length);
        // The count and the longest since the last call.
        int Take(int& longest);
        std::atomic<int> count{0};
        std::atomic<int> longest{0};
    };
    int textRoom_ = kMinTextRoom;
    int blobRoom_ = kMinBlobRoom;
    Overflows textCuts_;
    Overflows blobRefusals_;
    Overflows sysexRefusals_;
};
