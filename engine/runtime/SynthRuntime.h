#pragma once
// The DSP side of one plug-in instance: keeps the audio master, rebuilding it
// when the sample rate or the internal block size changes, or when asked to
// start from silence (carrying the patch across); owns the store of the
// patch's values that the processor and its controller share, the queue of
// messages from the editor side and the staging buffer in which the engine's
// records to the editor are gathered and sent as one batch. States are read
// and written in the store; each new audio master attaches to it.

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include "core/QueuedUsers.h"
#include "core/StagingMemoryBuffer.h"
#include "core/interThreadQue.h"
#include "engine/parameters/PatchStore.h"
#include "engine/runtime/IKvShellDsp.h"

class KvAudioMaster;

// How the batch leaves: the processor wraps it in a message to its controller.
class IDspToGuiSender
{
public:
    virtual ~IDspToGuiSender() = default;
    // False when no message could be made; the batch is then kept.
    virtual bool SendDspToGuiBatch(const unsigned char* data, int size) = 0;
    // Whether a batch may leave before its time (at the end of a block that
    // moved a host value) without crowding out later ones.
    virtual bool RoomForEarlyBatch() const { return true; }
};

class SynthRuntime : public IKvShellDsp, public QueuedUsers
{
public:
    static constexpr int kQueueSize = 1048576;
    // Offered to each waiting client as the room it may ask for.
    static constexpr int kClientOffer = 9988;

    explicit SynthRuntime(IDspToGuiSender* processor = nullptr);
    ~SynthRuntime() override;

    SynthRuntime(const SynthRuntime&) = delete;
    SynthRuntime& operator=(const SynthRuntime&) = delete;

    // User-interface thread, while the host does not process. True when a
    // graph is built and running; false means "no graph" (silence).
    bool initialize(int sampleRate, int maxBlockSize, const char* dspXml);
    // User-interface thread, while the host does not process. Builds the
    // engine again whatever it was running, so that nothing it played goes
    // on: no voice, tail, delay line or filter memory. The patch stays: the
    // preset state, and what the patch manager holds besides (PatchMemory).
    // An empty text builds from the document of the engine it replaces.
    // The engine it replaces is freed only once no block and no state call
    // uses it any longer: blocks that start meanwhile find it retired
    // (KvAudioMaster::Retire) or run in the new engine, and state calls wait
    // for the rebuild.
    bool Rebuild(int sampleRate, int maxBlockSize, const char* dspXml);

    // The engine now. A block holds a BlockUse for as long as it uses the
    // engine it found; other threads read and write the state through
    // GetPresetState and SetPresetState.
    KvAudioMaster* AudioMaster() { return master_.load(); }

    // Audio thread: the engine a block found, kept alive until the block
    // ends. No lock and no allocation.
    class BlockUse
    {
    public:
        explicit BlockUse(SynthRuntime& runtime) : runtime_(runtime)
        {
            runtime_.blockUsers_.fetch_add(1);
            master_ = runtime_.master_.load();
        }
        ~BlockUse() { runtime_.blockUsers_.fetch_sub(1); }
        BlockUse(const BlockUse&) = delete;
        BlockUse& operator=(const BlockUse&) = delete;
        KvAudioMaster* Master() const { return master_; }

    private:
        SynthRuntime& runtime_;
        std::shared_ptr<PatchStore> store_;
    std::atomic<KvAudioMaster*> master_{nullptr};
    };

    // Any thread but the audio thread: the preset state, read from and
    // written to the patch store (Load waits for a block that runs to end;
    // false for a text that is no state, which changes nothing).
    void GetPresetState(std::string& out);
    bool SetPresetState(const std::string& text);
    // The one memory of the patch's values, which outlives the engines
    // built from the same document.
    PatchStore& Store() { return *store_; }
    const std::shared_ptr<PatchStore>& SharedStore() const { return store_; }
    // User-interface thread, before the engine is built: how many of the
    // patch's programs the host chooses among, and the steps of its
    // program-change parameter.
    void setHostPrograms(int programs, int steps)
    {
        hostPrograms_ = programs;
        programSteps_ = steps;
    }
    // User-interface thread, before the engine is built: the host's
    // parameters, of which the store keeps the figures of those no patch
    // parameter holds.
    void setHostFigures(std::vector<PatchStore::Shape> figures) { hostFigures_ = std::move(figures); }
    bool HasGraph() const;
    interThreadQue& QueueFromGui() { return queue_; }
    const StagingMemoryBuffer& Staging() const { return staging_; }
    bool TempoNeeded() const { return tempoNeeded_; }
    void setProcessor(IDspToGuiSender* processor) { processor_ = processor; }
    void setModuleFolder(const std::wstring& folder) { moduleFolder_ = folder; }

    // IKvShellDsp
    my_output_stream* MessageQueToGui() override { return &batchStream_; }
    void ServiceDspRingBuffers() override;
    void RequestQue(QueClient* client, bool immediate) override;
    void ServiceAtBlockEnd() override { serviceAtBlockEnd_ = true; }
    void ReportAtBlockEnd() override { reportAtBlockEnd_ = true; }
    // Audio thread, at the end of a host block: when the engine asked for it
    // during the block, serves the waiting list and sends the batch (the
    // queue from the editor waits for its timer); for a host value moved,
    // while the processor has room for it.
    void ServiceIfAskedAtBlockEnd();
    void NeedTempo() override { tempoNeeded_ = true; }
    std::wstring ResolveFilename(const std::wstring& name, const std::wstring& extension) override;
    std::wstring getDefaultPath(const std::wstring& extension) override;

private:
    // Replaces the engine, carrying the patch of the one before.
    bool Build(int sampleRate, int blockSize, const char* dspXml);
    void ServiceWaitingClients();
    void SendBatch();

    std::shared_ptr<PatchStore> store_;
    std::atomic<KvAudioMaster*> master_{nullptr};
    // Blocks that may hold the engine they found.
    std::atomic<int> blockUsers_{0};
    // Serialises state calls and rebuilds (never taken by the audio thread).
    std::mutex stateMutex_;
    // Until the processor says otherwise, the host may choose any program.
    int hostPrograms_ = std::numeric_limits<int>::max();
    int programSteps_ = 127;
    std::vector<PatchStore::Shape> hostFigures_;
    interThreadQue queue_;
    StagingMemoryBuffer staging_;
    StagingMemoryBufferOutputStream batchStream_;
    IDspToGuiSender* processor_;
    std::atomic<bool> tempoNeeded_{false};
    // Audio thread only.
    bool serviceAtBlockEnd_ = false;
    bool reportAtBlockEnd_ = false;
    std::wstring moduleFolder_;
    // The document the engine was last built from.
    std::string builtText_;
};
