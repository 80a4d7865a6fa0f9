#include "shell/ADelayProcessor.h"
#include "shell/KvParameterList.h"
#include "shell/KvProgramList.h"
#include "public.sdk/source/vst/vstparameters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "core/Module_Info.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "engine/runtime/KvAudioMaster.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "engine/parameters/PatchStore.h"
#include "shell/MyVstPluginFactory.h"
#include "shell/ShellMessageIds.h"
#include "shell/StateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr const char* kMessageId = ShellMessageIds::kRecords;
constexpr const char* kAttributeId = ShellMessageIds::kRecordsAttribute;

void CopyName(String128 name, const std::wstring& text)
{
    const std::size_t n = std::min<std::size_t>(text.size(), 127);
    for (std::size_t i = 0; i < n; ++i)
        name[i] = static_cast<char16>(text[i] & 0xFFFF);
    name[n] = 0;
}

// The engine takes the host's time record through UpdateTempo when it has one.
template <typename Master>
void PassTempo(Master* master, my_VstTimeInfo& info)
{
    if constexpr (requires(Master* m, my_VstTimeInfo* t) { m->UpdateTempo(t); })
        master->UpdateTempo(&info);
    else if constexpr (requires(Master* m, my_VstTimeInfo& t) { m->UpdateTempo(t); })
        master->UpdateTempo(info);
}
} // namespace

ADelayProcessor::ADelayProcessor(MyVstPluginFactory* factory) : factory_(factory)
{
    runtime_.setProcessor(this);
    // What the transport record is filled from, asked of hosts that ask.
    using Needs = IProcessContextRequirements;
    setProcessContextRequirements(Needs::kNeedProjectTimeMusic | Needs::kNeedBarPositionMusic | Needs::kNeedTempo |
                                  Needs::kNeedTimeSignature | Needs::kNeedTransportState);
}

ADelayProcessor::~ADelayProcessor()
{
    runtime_.setProcessor(nullptr);
}

tresult PLUGIN_API ADelayProcessor::initialize(FUnknown* context)
{
    const std::string dsp = factory_ ? factory_->getXml("dsp.kv.xml") : std::string();
    if (factory_)
    {
        outputsAsStereoPairs_ = factory_->GetOutputsAsStereoPairs();
        runtime_.setModuleFolder(factory_->getKvmFolder());
        // External module bundles named by module XML are opened from there.
        Module_Info::SetKvmFolder(factory_->getKvmFolder());
    }
    runtime_.setProcessor(this);
    // The host chooses among the patch's named programs; a patch of one has
    // only MIDI program changes.
    const std::string parameters = factory_ ? factory_->getXml("parameters.kv.xml") : std::string();
    const auto programs = static_cast<int>(KvProgramList::Read(parameters).size());
    patchPrograms_ = programs > 1;
    programSteps_ = patchPrograms_ ? programs - 1 : kMidiProgramSteps;
    runtime_.setHostPrograms(patchPrograms_ ? programs : 0, programSteps_);
    runtime_.setHostFigures(HostFigures(parameters));
    runtime_.initialize(static_cast<int>(processSetup_.sampleRate), processSetup_.maxSamplesPerBlock, dsp.c_str());
    // Taken once: the audio thread only copies into it.
    if (batches_.Capacity() == 0)
        batches_.Allocate(BatchRing::RoomFor(kQueuedBatches, StagingMemoryBuffer::kCapacity));

    hostValues_.Build(parameters);
    reportedBytes_ = 0;
    refusedBatch_ = nullptr;

    const tresult result = AudioEffect::initialize(context);
    if (result != kResultOk)
        return result;

    KvAudioMaster* master = runtime_.AudioMaster();
    // Channels beyond kMaxChannels are neither bused nor served.
    numInputs_ = master ? std::clamp(master->getNumInputs(), 0, kMaxChannels) : 0;
    numOutputs_ = master ? std::clamp(master->getNumOutputs(), 0, kMaxChannels) : 0;
    AddBuses(false, numInputs_, inputPlaces_);
    AddBuses(true, numOutputs_, outputPlaces_);
    if (isInstrument_)
        addEventInput(STR16("Event Input"), 1);
    return result;
}

std::vector<PatchStore::Shape> ADelayProcessor::HostFigures(const std::string& parameters)
{
    // Every host parameter with its figure at first; the store keeps those
    // of the parameters no patch parameter holds.
    std::vector<PatchStore::Shape> figures;
    std::vector<KvParameterEntry> entries;
    KvParameterList::ReadDocument(parameters, entries);
    for (KvParameterEntry& entry : entries)
    {
        if (Parameter* host = entry.host)
        {
            PatchStore::Shape figure;
            figure.handle = entry.handle;
            figure.hostId = entry.record.index;
            figure.kind = PatchStore::Kind::Figure;
            figure.initial = host->getNormalized();
            figures.push_back(figure);
            host->release();
        }
    }
    return figures;
}

void ADelayProcessor::AddBuses(bool output, int channels, std::vector<ChannelPlace>& places)
{
    places.clear();
    int bus = 0;
    int k = 0;
    auto add = [&](SpeakerArrangement arrangement, int width) {
        String128 name{};
        const std::wstring fallback = output ? L"AudioOutput" : L"AudioInput";
        CopyName(name, output && factory_ ? factory_->GetOutputsName(k) : fallback);
        if (output)
            addAudioOutput(name, arrangement);
        else
            addAudioInput(name, arrangement);
        for (int c = 0; c < width; ++c)
            places.push_back({bus, c});
        ++bus;
        k += width;
    };
    if (outputsAsStereoPairs_ && channels >= 2)
    {
        while (channels - k >= 2)
            add(SpeakerArr::kStereo, 2);
    }
    while (k < channels)
        add(SpeakerArr::kMono, 1);
}

tresult PLUGIN_API ADelayProcessor::setActive(TBool state)
{
    SendQueuedBatches();
    // A second activation (or deactivation) changes nothing.
    if ((state != 0) == active_.load())
        return kResultOk;
    if (state)
    {
        const std::string dsp = factory_ ? factory_->getXml("dsp.kv.xml") : std::string();
        // The runtime keeps the processor initialize gave it: a state call
        // on another thread may be sending the engine's batch through it.
        runtime_.Rebuild(static_cast<int>(processSetup_.sampleRate), processSetup_.maxSamplesPerBlock, dsp.c_str());
        const auto room = static_cast<std::size_t>(std::max(processSetup_.maxSamplesPerBlock, 1));
        silence_.assign(room, 0.0f);
        discard_.assign(room, 0.0f);
        ordered_.resize(kOrderedInputs);
        reportedBytes_ = 0;
        refusedBatch_ = nullptr;
        // The new engine holds no key, and has heard no transport.
        releaseHeldKeys_.store(false);
        timeInfo_ = my_VstTimeInfo{};
        bypass_.Prepare(processSetup_.sampleRate, processSetup_.maxSamplesPerBlock, numOutputs_);
        forgetHeldNotes_.store(true);
    }
    active_.store(state != 0);
    return AudioEffect::setActive(state);
}

tresult PLUGIN_API ADelayProcessor::setProcessing(TBool state)
{
    if (processing_.exchange(state != 0) && !state)
        releaseHeldKeys_.store(true);
    return kResultOk;
}

tresult PLUGIN_API ADelayProcessor::setupProcessing(ProcessSetup& setup)
{
    if (active_.load())
        return kResultFalse;
    return AudioEffect::setupProcessing(setup);
}

tresult PLUGIN_API ADelayProcessor::activateBus(MediaType type, BusDirection dir, int32 index, TBool state)
{
    if (active_.load())
        return kResultFalse;
    return AudioEffect::activateBus(type, dir, index, state);
}

tresult PLUGIN_API ADelayProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                       SpeakerArrangement* outputs, int32 numOuts)
{
    if (numIns < 0 || numOuts < 0 || (numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kInvalidArgument;
    if (active_.load())
        return kResultFalse;
    // Only the arrangements the engine has: the buses never change.
    if (numIns != static_cast<int32>(audioInputs.size()) || numOuts != static_cast<int32>(audioOutputs.size()))
        return kResultFalse;
    for (int32 i = 0; i < numIns; ++i)
        if (getAudioInput(i)->getArrangement() != inputs[i])
            return kResultFalse;
    for (int32 i = 0; i < numOuts; ++i)
        if (getAudioOutput(i)->getArrangement() != outputs[i])
            return kResultFalse;
    return AudioEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
}


void ADelayProcessor::ReadTransport(const ProcessData& data)
{
    // Without a context the last transport stays in place.
    const ProcessContext* context = data.processContext;
    if (context == nullptr)
        return;
    timeInfo_.sampleRate = processSetup_.sampleRate;
    timeInfo_.ppqPos = std::isfinite(context->projectTimeMusic) ? context->projectTimeMusic : 0.0;
    timeInfo_.tempo = context->tempo;
    timeInfo_.barStartPos = context->barPositionMusic;
    timeInfo_.timeSigNumerator = context->timeSigNumerator;
    timeInfo_.timeSigDenominator = context->timeSigDenominator;
    timeInfo_.flags = 0x2E00 | ((context->state & ProcessContext::kPlaying) ? 3 : 0);
    if (KvAudioMaster* master = runtime_.AudioMaster())
        PassTempo(master, timeInfo_);
}

bool ADelayProcessor::MapChannels(ProcessData& data)
{
    const auto room = static_cast<int32>(silence_.size());
    auto place = [&](const std::vector<ChannelPlace>& places, int count, AudioBusBuffers* buses, int32 busCount,
                     float** table, float* scratch) {
        bool ok = true;
        for (int i = 0; i < count; ++i)
        {
            const ChannelPlace& at = places[static_cast<std::size_t>(i)];
            float* buffer = nullptr;
            if (buses && at.bus < busCount && at.channel < buses[at.bus].numChannels && buses[at.bus].channelBuffers32)
                buffer = buses[at.bus].channelBuffers32[at.channel];
            if (buffer == nullptr)
            {
                buffer = scratch;
                ok = ok && data.numSamples <= room;
            }
            table[i] = buffer;
        }
        return ok;
    };
    std::fill(silence_.begin(), silence_.end(), 0.0f);
    const bool inputsOk = place(inputPlaces_, numInputs_, data.inputs, data.numInputs, inputChannels_, silence_.data());
    const bool outputsOk =
        place(outputPlaces_, numOutputs_, data.outputs, data.numOutputs, outputChannels_, discard_.data());
    return inputsOk && outputsOk;
}

void ADelayProcessor::Silence(ProcessData& data)
{
    if (data.outputs == nullptr || data.numSamples < 1)
        return;
    for (int32 bus = 0; bus < data.numOutputs; ++bus)
    {
        AudioBusBuffers& buffers = data.outputs[bus];
        for (int32 c = 0; buffers.channelBuffers32 && c < buffers.numChannels; ++c)
            if (float* channel = buffers.channelBuffers32[c])
                std::fill(channel, channel + data.numSamples, 0.0f);
        buffers.silenceFlags = buffers.numChannels >= 64 ? ~uint64(0) : (uint64(1) << buffers.numChannels) - 1;
    }
}

tresult PLUGIN_API ADelayProcessor::process(ProcessData& data)
{
    // Blocks come only between setActive(true) and setActive(false).
    if (!active_.load())
    {
        Silence(data);
        return kResultOk;
    }
    // The engine the block found lives until the block ends, whatever an
    // activation on another thread does meanwhile.
    const SynthRuntime::BlockUse use(runtime_);
    // While the engine is being replaced the block leaves it alone, silent;
    // its input waits for the next block that runs it.
    std::optional<KvAudioMaster::BlockScope> scope;
    if (KvAudioMaster* engine = use.Master())
    {
        scope.emplace(*engine);
        if (!scope->entered())
        {
            HoldInput(data);
            Silence(data);
            return kResultOk;
        }
    }
    // The patch's memory, unless a state is being written into it: the block
    // then plays on with what the engine has, and the next one plays the state.
    PatchStore& store = runtime_.Store();
    const bool open = store.EnterBlock();
    struct Leave
    {
        PatchStore& store;
        ~Leave() { store.LeaveBlock(); }
    } leave{store};
    hostChoseProgram_ = false;
    // A block without samples does not advance the engine: the keys wait
    // for one that does, and its notes are not read.
    const bool samples = data.numSamples >= 1;
    if (samples && releaseHeldKeys_.exchange(false))
    {
        // Keys the host held when it stopped or deactivated the plug-in; it
        // may have let them go since without a block to say so. They are
        // released ahead of the block's own MIDI.
        ReleaseAllKeys();
    }
    // Input held for a block with samples: a block without keeps its own
    // behind it (but for its bypass switches, which wait for the next block
    // anyway). Notes held from before an activation are not played.
    if (forgetHeldNotes_.load(std::memory_order_relaxed) && forgetHeldNotes_.exchange(false))
        held_.ForgetNotes();
    if (!held_.Empty())
    {
        if (!samples)
        {
            HoldInput(data);
            return kResultOk;
        }
        ReplayHeldInput(data);
    }
    if (open)
        HearStore(data.inputParameterChanges, data.numSamples);
    ReadParameterChanges(data);
    ReadMidi(data, samples);
    ReadBypass(data.inputParameterChanges, data.numSamples);
    if (!samples)
    {
        // A program chosen in a block without samples is reported with it.
        blockChanges_ = data.outputParameterChanges;
        runtime_.ServiceIfAskedAtBlockEnd();
        blockChanges_ = nullptr;
        TellHostProgram(data);
        return kResultOk;
    }
    if (runtime_.TempoNeeded())
        ReadTransport(data);

    KvAudioMaster* master = runtime_.AudioMaster();
    if (!MapChannels(data))
    {
        // A missing buffer on a block longer than promised: silence, not a crash.
        for (int i = 0; i < numOutputs_; ++i)
            if (outputChannels_[i] != discard_.data())
                std::fill(outputChannels_[i], outputChannels_[i] + data.numSamples, 0.0f);
        return kResultOk;
    }
    if (master == nullptr)
    {
        for (int i = 0; i < numOutputs_; ++i)
            std::fill(outputChannels_[i], outputChannels_[i] + data.numSamples, 0.0f);
        return kResultOk;
    }
    const int64_t blockStart = master->SampleClock();
    // Values the engine changes during the block reach the host with it.
    blockChanges_ = data.outputParameterChanges;
    // Kept before the engine writes: a host may give the same buffers for
    // input and output. An instrument's bypass is silent.
    bypass_.KeepDry(inputChannels_, isInstrument_ ? 0 : numInputs_, data.numSamples);
    master->DoProcess(data.numSamples, inputChannels_, outputChannels_, numInputs_, numOutputs_, 1, 1, 0);
    bypass_.Mix(outputChannels_, numOutputs_, data.numSamples);
    runtime_.ServiceIfAskedAtBlockEnd();
    blockChanges_ = nullptr;
    SendControllers(data, blockStart);
    TellHostProgram(data);
    return kResultOk;
}

void ADelayProcessor::HearStore(IParameterChanges* changes, int32 numSamples)
{
    PatchStore& store = runtime_.Store();
    KvAudioMaster* master = runtime_.AudioMaster();
    // A program chosen on the controller or by a state plays from the
    // block's start, and the patch's MIDI hears it as a program change;
    // but not where the block's own program point plays in its place.
    if (master && master->HearStore(BlockPlaysProgram(changes, numSamples)))
    {
        const unsigned char change[2] = {0xC0, static_cast<unsigned char>(store.Program() & 0x7F)};
        MidiIn(0, change, 2);
    }
    hostChoseProgram_ = store.TakeHostChoice();
    bypass_.Follow(store.Bypass());
}

void ADelayProcessor::TellHostProgram(ProcessData& data)
{
    PatchStore& store = runtime_.Store();
    if (!hostChoseProgram_ || data.outputParameterChanges == nullptr || !store.TellsHostPrograms() || !store.Open())
        return;
    hostChoseProgram_ = false;
    const int program = store.Program();
    for (int slot = 0; slot < store.SlotCount(); ++slot)
    {
        const int id = store.ShapeOf(slot).hostId;
        int32 index = 0;
        IParamValueQueue* queue =
            id >= 0 ? data.outputParameterChanges->addParameterData(static_cast<ParamID>(id), index) : nullptr;
        if (queue != nullptr)
            queue->addPoint(0, store.Read(slot, store.PatchOf(slot, program)).normalized, index);
    }
}

void ADelayProcessor::HoldInput(ProcessData& data)
{
    held_.Keep(data.inputParameterChanges, data.numSamples >= 1 ? data.inputEvents : nullptr,
               KvBypass::kParameterId);
    ReadBypass(data.inputParameterChanges, 0);
}

void ADelayProcessor::ReplayHeldInput(ProcessData& data)
{
    const bool lostSome = held_.LostSome();
    held_.Replay([&](IParameterChanges& changes, IEventList& events) {
        ProcessData held = {};
        held.numSamples = data.numSamples;
        held.inputParameterChanges = &changes;
        held.inputEvents = &events;
        ReadParameterChanges(held);
        ReadMidi(held, true);
    });
    // Notes that found no room must not hang: every key is let go.
    if (lostSome)
        ReleaseAllKeys();
}

tresult PLUGIN_API ADelayProcessor::notify(IMessage* message)
{
    if (message == nullptr)
        return kInvalidArgument;
    // The message's records go in first: whatever the controller sends back
    // while reading the batches queues behind them.
    const tresult result = RelayMessage(message);
    SendQueuedBatches();
    return result;
}

tresult ADelayProcessor::RelayMessage(IMessage* message)
{
    const char* id = message->getMessageID();
    if (id != nullptr && std::strcmp(id, ShellMessageIds::kPollBatches) == 0)
        return kResultOk;
    if (id != nullptr && std::strcmp(id, ShellMessageIds::kStoreWanted) == 0)
    {
        OfferStore();
        return kResultOk;
    }
    // A controller that keeps a store of its own (it could not take this
    // one) passes on the host's values: {uint32 id, float64 value} records.
    if (id != nullptr && std::strcmp(id, ShellMessageIds::kHostValues) == 0)
    {
        const void* data = nullptr;
        uint32 size = 0;
        IAttributeList* attributes = message->getAttributes();
        constexpr uint32 kEach = sizeof(uint32_t) + sizeof(double);
        if (attributes == nullptr ||
            attributes->getBinary(ShellMessageIds::kHostValuesAttribute, data, size) != kResultOk ||
            size % kEach != 0)
            return kResultFalse;
        for (uint32 at = 0; at < size; at += kEach)
        {
            uint32_t host = 0;
            double value = 0.0;
            std::memcpy(&host, static_cast<const char*>(data) + at, sizeof(host));
            std::memcpy(&value, static_cast<const char*>(data) + at + sizeof(host), sizeof(value));
            runtime_.Store().SetHostValue(static_cast<int>(host), value);
        }
        return kResultOk;
    }
    const void* data = nullptr;
    uint32 size = 0;
    if (id == nullptr || std::strcmp(id, kMessageId) != 0 || message->getAttributes() == nullptr ||
        message->getAttributes()->getBinary(kAttributeId, data, size) != kResultOk)
        return AudioEffect::notify(message);
    // A bad length would desynchronise the audio thread's reader: refuse it whole.
    if (size > static_cast<uint32>(SynthRuntime::kQueueSize) || !QueMessagesAreWellFormed(data, static_cast<int>(size)))
        return kResultFalse;
    if (size == 0)
        return kResultOk;
    interThreadQue& queue = runtime_.QueueFromGui();
    queue.pushString(static_cast<int>(size), data);
    queue.Send();
    return kResultOk;
}

tresult PLUGIN_API ADelayProcessor::getState(IBStream* state)
{
    SendQueuedBatches();
    std::string text;
    runtime_.GetPresetState(text);
    return StateChunk::Write(state, text) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API ADelayProcessor::setState(IBStream* state)
{
    SendQueuedBatches();
    std::string text;
    // An empty state holds no value, and the bypass off.
    if (!StateChunk::Read(state, text) || !StateChunk::IsPresetState(text) || !runtime_.SetPresetState(text))
        return kResultFalse;
    return kResultOk;
}

tresult PLUGIN_API ADelayProcessor::connect(IConnectionPoint* other)
{
    const tresult result = AudioEffect::connect(other);
    if (result == kResultOk)
        OfferStore();
    return result;
}

void ADelayProcessor::OfferStore()
{
    if (getPeer() == nullptr)
        return;
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message || message->getAttributes() == nullptr)
        return;
    // A controller in this process finds the store by its token; one in
    // another finds nothing and keeps its own.
    message->setMessageID(ShellMessageIds::kStore);
    message->getAttributes()->setInt(ShellMessageIds::kStoreToken, PatchStore::Lend(runtime_.SharedStore()));
    sendMessage(message);
}

bool ADelayProcessor::SendDspToGuiBatch(const unsigned char* data, int size)
{
    if (data == nullptr || size <= 0)
        return true;
    const auto total = static_cast<std::size_t>(size);
    // A refused batch comes back from the same place, starting with the same
    // bytes.
    const bool again = data == refusedBatch_ && reportedBytes_ <= total;
    const std::size_t from = again ? reportedBytes_ : 0;
    if (blockChanges_ != nullptr && from < total)
        hostValues_.Report(data + from, total - from, *blockChanges_, 0, runtime_.Store());
    const bool pushed = batches_.Push(data, total);
    refusedBatch_ = pushed ? nullptr : data;
    reportedBytes_ = pushed ? 0 : total;
    return pushed;
}

void ADelayProcessor::SendQueuedBatches()
{
    if (sendingBatches_.exchange(true, std::memory_order_acquire))
        return;
    struct Done
    {
        std::atomic<bool>& flag;
        ~Done() { flag.store(false, std::memory_order_release); }
    } done{sendingBatches_};
    // Unconnected, the batches wait for the controller. Those that wait go
    // in one message, in order: the controller reads what the engine did
    // meanwhile as a whole (a program that was chosen and left again).
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    while (getPeer() != nullptr && batches_.Front(data, size))
    {
        IPtr<IMessage> message = owned(allocateMessage());
        // Without a message the batches wait for the next call.
        if (!message || message->getAttributes() == nullptr)
            return;
        std::string joined;
        while (batches_.Front(data, size) && (joined.empty() || joined.size() + size <= kMaxMessageBytes))
        {
            joined.append(reinterpret_cast<const char*>(data), size);
            // The room goes back to the audio thread before the controller reads it.
            batches_.Pop();
        }
        message->setMessageID(kMessageId);
        message->getAttributes()->setBinary(kAttributeId, joined.data(), static_cast<uint32>(joined.size()));
        sendMessage(message);
    }
}
