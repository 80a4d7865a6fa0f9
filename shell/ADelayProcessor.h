#pragma once
// The plug-in's audio processor. It owns the engine front built from
// dsp.kv.xml, makes host buses from the engine's channel counts, and on each
// block turns host parameter changes, notes and transport into engine input,
// runs the engine, and sends the MIDI controllers the patch produced back as
// output parameter changes. It carries the state chunk and relays the
// controller's messages into the engine's queue.
//
// Threads: methods marked "UI" run on the host's user-interface thread,
// those marked "Audio" on its audio thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/BatchRing.h"
#include "core/QueMessage.h"
#include "core/ValueRule.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/runtime/my_VstTimeInfo.h"
#include "shell/AudioEffect.h"
#include "shell/HostValueTable.h"
#include "shell/KvBypass.h"
#include "shell/KvHeldInput.h"

class MyVstPluginFactory;

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ADelayProcessor : public Steinberg::Vst::AudioEffect, public IDspToGuiSender
{
public:
    // UI
    explicit ADelayProcessor(MyVstPluginFactory* factory);
    // UI
    ~ADelayProcessor() override;

    // The engine serves at most this many input and output channels.
    static constexpr int kMaxChannels = 32;

    // UI: set-up and inspection.
    void setInstrument(bool instrument) { isInstrument_ = instrument; }
    bool isInstrument() const { return isInstrument_; }
    SynthRuntime& Runtime() { return runtime_; }
    int NumInputs() const { return numInputs_; }
    int NumOutputs() const { return numOutputs_; }
    const my_VstTimeInfo& TimeInfo() const { return timeInfo_; }

    // UI: each of the following but process.
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    // UI: a message from the controller; its records go to the engine's
    // queue. Every message, the controller's poll included, then sends the
    // engine's batches that wait.
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    // The controller is told where the patch store is: in this process it
    // reads and writes the store itself.
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
    // Activation starts from silence: the engine is built again, so nothing
    // that sounded before goes on (voices, tails, delay lines, filter
    // memory), while the patch stays: its values, program and what the
    // patch manager holds besides. What the processor keeps between blocks
    // starts afresh too; the bypass stays as the host left it, settled.
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
    // The state holds the patch's values, the program they belong to and
    // whether the host's bypass is on: the patch store's, read and written
    // whole. Setting one waits for a block running on another thread to end;
    // blocks that start meanwhile play on as they were, and the next one
    // plays the state. Any thread of the host's but the one running blocks.
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    // Refused (kResultFalse) while active: the setup and the buses are what
    // the audio thread runs with.
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                              Steinberg::int32 index, Steinberg::TBool state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
    // Any thread (some hosts call it on the audio thread). A stop has the
    // next block begin with an all-notes-off.
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) SMTG_OVERRIDE;
    // Audio
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;

    // Audio. Zeroes the outputs the host gave for a block that is not played.
    static void Silence(Steinberg::Vst::ProcessData& data);

    // Audio. IDspToGuiSender: the engine's batch is copied into the ring
    // (no allocation, lock or log); false when the ring has no room for it,
    // and the engine keeps it for its next service. During a block whose
    // host takes output parameter changes, the host parameter values the
    // engine moved on its own go there too, each once: a batch the ring
    // refused comes back with the same bytes first, and only what follows
    // them is reported.
    bool SendDspToGuiBatch(const unsigned char* data, int size) override;
    // Audio: a batch leaves early while the waiting ones fill less than a
    // quarter of their room (a host that never calls the processor on its
    // user-interface thread then still hears of host values on time).
    bool RoomForEarlyBatch() const override { return batches_.Used() * 4 < batches_.Capacity(); }

    // Room for this many full engine batches waits for the user-interface thread.
    static constexpr int kQueuedBatches = 16;
    // The batches that wait go to the controller together, up to this many bytes a message.
    static constexpr std::size_t kMaxMessageBytes = std::size_t{1} << 20;

    // A block's parameter values, and its MIDI, reach the engine in sample
    // order, whatever order the host lists them in; events of one sample keep
    // the host's order. Up to this many of each are ordered at once; a block
    // with more is handed over in several passes of as many, each taking the
    // earliest of those left, so that the order holds for any count.
    static constexpr int kOrderedInputs = 8192;

private:
    // Where an engine channel sits on the host's buses.
    struct ChannelPlace
    {
        int bus = 0;
        int channel = 0;
    };

    void AddBuses(bool output, int channels, std::vector<ChannelPlace>& places);
    // UI: the host's parameters of parameters.kv.xml as the store's figures.
    static std::vector<PatchStore::Shape> HostFigures(const std::string& parameters);
    // One timed input of a block, at its sample offset inside the block, with
    // its place in the host's lists: a patch parameter id and its value, or
    // MIDI bytes (packed, the count in the top byte).
    struct TimedInput
    {
        Steinberg::int32 offset = 0;
        // Within a sample: in the host's order.
        Steinberg::int32 place = 0;
        Steinberg::uint32 word = 0;
        double value = 0.0;
        // A MIDI parameter's id, -1 for other input.
        Steinberg::int32 id = -1;
    };
    // Patch parameter values in sample order, the program chosen before the
    // values of its sample, and the bypass. A point that is the twin of a
    // value the host set on the controller is passed over (PatchStore).
    void ReadParameterChanges(Steinberg::Vst::ProcessData& data);
    // Whether a block's last program-change point plays in place of the
    // program the store chose before the block: it is the copy of that
    // choice (played from its sample), or a new choice at the block's first
    // sample (the store's would play for no sample).
    bool BlockPlaysProgram(Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 numSamples);
    // The bypass points of a block, unless their last is a twin.
    void ReadBypass(Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 numSamples);
    // Audio, at a block's start with the store open: what others set in the
    // store since the last block (a program, the bypass, values) plays.
    void HearStore(Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 numSamples);
    // Audio: a host that cannot be asked to reread at once (PatchStore::
    // TellsHostPrograms) hears the values of a program it chose as output
    // changes of the block that plays it.
    void TellHostProgram(Steinberg::Vst::ProcessData& data);
    // The block's MIDI in sample order: controllers, pressure and bend from
    // the host's parameters, the program change, and (for a block with
    // samples) the notes.
    void ReadMidi(Steinberg::Vst::ProcessData& data, bool withNotes);
    // Hands the inputs read at places 0..count-1 to `hand` in sample order.
    template <class ReadAt, class Hand>
    void HandInSampleOrder(Steinberg::int32 count, ReadAt readAt, Hand hand);
    void ReadTransport(const Steinberg::Vst::ProcessData& data);
    // False when a missing host buffer needs scratch room the block exceeds.
    bool MapChannels(Steinberg::Vst::ProcessData& data);
    void SendControllers(Steinberg::Vst::ProcessData& data, int64_t blockStart);
    void MidiIn(int offset, const unsigned char* bytes, int count);
    // Audio. Every held key is let go at the block's start.
    void ReleaseAllKeys();
    // UI. A message from the controller without the batches' part.
    Steinberg::tresult RelayMessage(Steinberg::Vst::IMessage* message);
    // Tells the connected controller where the store is.
    void OfferStore();
    // UI. Sends the batches that wait, oldest first, each as a message to the
    // controller. One pass at a time: a call made while a pass runs (the
    // controller answering inside sendMessage, or another thread) returns at
    // once and the running pass sends what came meanwhile.
    void SendQueuedBatches();

    MyVstPluginFactory* factory_;
    SynthRuntime runtime_;
    bool isInstrument_ = false;
    // Written by the user-interface thread, read by process().
    std::atomic<bool> active_{false};
    // Filled by the audio thread, emptied by SendQueuedBatches.
    BatchRing batches_;
    std::atomic<bool> sendingBatches_{false};
    // Built by initialize, read by the audio thread.
    HostValueTable hostValues_;
    // Sized on activation, used by the audio thread to order a block's input.
    std::vector<TimedInput> ordered_;
    // Set when the host stops processing; the next block with samples takes
    // it and begins with an all-notes-off. An activation clears it: the
    // engine then starts without a key held.
    std::atomic<bool> releaseHeldKeys_{false};
    // The program a block's parameters chose, for its MIDI (-1: none).
    int blockProgram_ = -1;
    Steinberg::int32 blockProgramOffset_ = 0;
    // Steps of the program-change parameter: the patch's programs less one,
    // the MIDI program numbers for a single program.
    static constexpr int kMidiProgramSteps = 127;
    int programSteps_ = kMidiProgramSteps;
    // Any thread: the program a value of the program-change parameter
    // chooses, as the controller's program list reads it.
    int ProgramOf(double value) const
    {
        return static_cast<int>(ValueRule::WholePlain(value, 0.0, programSteps_)) & 0x7F;
    }
    // Whether the patch has programs of its own (more than one).
    bool patchPrograms_ = false;
    // Audio thread only: the host's output changes while the engine runs a
    // block, and how much of the batch last refused was reported already.
    Steinberg::Vst::IParameterChanges* blockChanges_ = nullptr;
    const unsigned char* refusedBatch_ = nullptr;
    std::size_t reportedBytes_ = 0;
    // Audio thread only: the program the store last had at a block's start,
    // and whether the host chose a program the block plays.
    bool hostChoseProgram_ = false;
    // The store, as the controller takes it over the connection: it lives
    // as long as this processor.
    std::shared_ptr<PatchStore> offered_;
    my_VstTimeInfo timeInfo_;
    int numOutputs_ = 0;
    int numInputs_ = 0;
    float* inputChannels_[kMaxChannels] = {};
    float* outputChannels_[kMaxChannels] = {};
    bool outputsAsStereoPairs_ = true;

    std::vector<ChannelPlace> inputPlaces_;
    std::vector<ChannelPlace> outputPlaces_;
    // Stand in for host buffers that are missing: silence in, discard out.
    std::vector<float> silence_;
    std::vector<float> discard_;
    // Audio thread, sized on activation: the host's bypass parameter.
    KvBypass bypass_;
    // Audio thread: what blocks that found the engine held for the state
    // brought, for the next block that runs it.
    KvHeldInput held_;
    // Set on activation: notes kept from before it are not played.
    std::atomic<bool> forgetHeldNotes_{false};
    // Audio. Keeps the block's input in held_; its bypass switches are
    // taken as a block without samples takes them.
    void HoldInput(Steinberg::Vst::ProcessData& data);
    // Audio. Hands what held_ keeps to the engine ahead of the block's own input.
    void ReplayHeldInput(Steinberg::Vst::ProcessData& data);
};
#pragma GCC diagnostic pop
