#pragma once
// engine/runtime/: what runs a graph. SynthRuntime is the DSP side of one
// plug-in instance; KvAudioMaster builds the graph from the DSP patch
// document and runs it block by block; audio masters keep the clocks, the
// skip list of awake modules, handles and the shared lookup tables.
// Threads: built and rebuilt on the user-interface thread while the processor
// is set up; the block loop runs on the audio thread, and preset state and
// editor messages cross between the two through lock-free queues.
//
// The engine of one plug-in instance: builds the module graph from the DSP
// patch document, owns the top container, attaches the host input and output
// modules, runs the graph for each host block, routes editor messages by
// handle and hands preset state between the user-interface and audio threads.

#include <atomic>
#include <thread>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/interThreadQue.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/events/dsp_msg_target.h"
#include "engine/runtime/my_VstTimeInfo.h"

class IDspPatchManager;
class PresetValues;
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
    // Audio thread, in a block that entered: a state set before the block is
    // applied now, ahead of the block's own input, which is newer.
    void ApplyStateSetBefore();
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
    // Blocks held off: the host's value kept as a program's that does not
    // play now (no module hears it); the program that plays.
    void StoreParameterNormalizedDsp(int parameterId, double value, int program);
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

    // User-interface thread (or any thread of the host's but the audio
    // thread; one call at a time). While blocks run, the state crosses to
    // the audio thread between blocks; when the audio thread does not answer,
    // the state is read or written here once the block it runs has ended,
    // however long that takes, and no new block starts meanwhile.
    void getPresetState_UI_THREAD(std::string& out, bool processing);
    void setPresetState_UI_THREAD(const std::string& text, bool processing);
    // User-interface thread (as above): `work` runs while no block runs in
    // the engine, after a state set before it is applied.
    void RunWithBlocksHeldOff(const std::function<void()>& work);

    // Audio thread: marks the engine as the audio thread's for as long as it
    // lives, around everything a host block does with it (input, DoProcess,
    // output). While the user-interface thread reads or writes the state,
    // the block waits for it (a state's values are copied, not formatted,
    // while it holds the engine). entered() is false only once the engine is
    // retired: the block must then leave it alone. Scopes nest.
    class BlockScope
    {
    public:
        explicit BlockScope(KvAudioMaster& master) : depth_(master.blockDepth_)
        {
            // Inside an entered scope the engine is this block's already.
            if (nesting_ > 0)
            {
                depth_.fetch_add(1);
                entered_ = true;
                ++nesting_;
                return;
            }
            for (;;)
            {
                depth_.fetch_add(1);
                if (!master.directAccess_.load())
                {
                    entered_ = true;
                    ++nesting_;
                    return;
                }
                if (master.retired_.load())
                    return;
                // Out of the state's way until it is done.
                depth_.fetch_sub(1);
                while (master.directAccess_.load() && !master.retired_.load())
                    std::this_thread::yield();
            }
        }
        ~BlockScope()
        {
            if (entered_)
                --nesting_;
            depth_.fetch_sub(1);
        }
        BlockScope(const BlockScope&) = delete;
        BlockScope& operator=(const BlockScope&) = delete;
        bool entered() const { return entered_; }

    private:
        std::atomic<int>& depth_;
        bool entered_ = false;
        static inline thread_local int nesting_ = 0;
    };

    // User-interface thread, before the engine is replaced: no block starts
    // in it from here on (BlockScope::entered() stays false), and the one
    // running is waited for. The state can still be read and written.
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
    void HandleInterrupt();
    void WritePresetState(const std::string& text);
    // By the thread that holds the engine for the state: the host's switches
    // the shell keeps beside the patch go out with the values read, and in
    // with the values applied.
    void CaptureHostSwitches(PresetValues& set);
    // User-interface thread: a state document read into a set; a program the
    // host does not choose among is none (the one that plays stays).
    std::unique_ptr<PresetValues> PrepareState(IDspPatchManager& manager, const std::string& text);
    void ApplyPresetSet(IDspPatchManager* manager, PresetValues& set);
    // Audio thread: a used set goes back to the user-interface thread.
    void HandBack(PresetValues* set);
    // User-interface thread: frees the sets handed back (all of them, with
    // `everything`, also those still in transit: the audio thread is held off).
    void FreeHandedBack(bool everything = false);
    // Holds blocks off, applies a state set before, runs `work`, lets blocks in again.
    void HeldOff(const std::function<void()>& work);
    // User-interface thread: the audio thread's answer to the request with
    // this serial, or null when none came within the waits.
    PresetValues* AwaitCapture(uint64_t serial);
    // User-interface thread: stops blocks from starting and waits for the
    // one running to end.
    void HoldOffBlocks();
    // On the user-interface thread, with the block loop held off.
    // The state's values and switches, and their text.
    std::unique_ptr<PresetValues> CaptureState();
    void FormatState(const std::unique_ptr<PresetValues>& set, std::string& out);
    void ReadPresetStateDirectly(std::string& out);
    void WritePresetStateDirectly(const std::string& text);

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

    // The preset hand-over: each set is owned by whichever thread took it
    // from its slot (by exchange), so neither thread locks or waits for the
    // other. A state to apply, room for the state to read out, that room
    // filled, and used sets on their way back to be freed.
    std::atomic<PresetValues*> setPending_{nullptr};
    std::atomic<PresetValues*> getPending_{nullptr};
    std::atomic<PresetValues*> getDone_{nullptr};
    std::atomic<PresetValues*> handedBack_{nullptr};
    uint64_t captureSerial_ = 0;
    std::atomic<bool> interrupt_{false};
    // Set by the audio thread while it runs a block, and by the user-interface
    // thread while it touches the state directly; each checks the other's.
    std::atomic<int> blockDepth_{0};
    std::atomic<bool> directAccess_{false};
    // Set by Retire: direct access then never ends.
    std::atomic<bool> retired_{false};
    // Serialises the state calls of the host's threads (never the audio thread).
    std::mutex stateMutex_;
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
