#include "engine/runtime/SynthRuntime.h"

#include <chrono>
#include <thread>

#include "core/file_helpers.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/PatchStore.h"
#include "engine/parameters/PatchMemory.h"
#include "engine/runtime/KvAudioMaster.h"

SynthRuntime::SynthRuntime(IDspToGuiSender* processor)
    : store_(std::make_shared<PatchStore>()), queue_(kQueueSize), batchStream_(&staging_), processor_(processor)
{
}

SynthRuntime::~SynthRuntime()
{
    // The waiting clients belong to the graph: unlink them while they live.
    ClearWaiters();
    delete master_.exchange(nullptr);
}

bool SynthRuntime::initialize(int sampleRate, int maxBlockSize, const char* dspXml)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    const int blockSize = AudioMasterBase::CalcBlockSize(maxBlockSize);
    // An engine without a graph is not kept when a document arrives.
    const bool hasText = dspXml && *dspXml;
    KvAudioMaster* master = master_.load();
    if (master && master->SampleRate() == static_cast<float>(sampleRate) && master->BlockSize() == blockSize &&
        (master->HasGraph() || !hasText))
        return HasGraph();
    return Build(sampleRate, blockSize, hasText ? dspXml : "");
}

bool SynthRuntime::Rebuild(int sampleRate, int maxBlockSize, const char* dspXml)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    const std::string text = dspXml && *dspXml ? std::string(dspXml) : builtText_;
    return Build(sampleRate, AudioMasterBase::CalcBlockSize(maxBlockSize), text.c_str());
}

void SynthRuntime::GetPresetState(std::string& out)
{
    store_->Format(out);
}

bool SynthRuntime::SetPresetState(const std::string& text)
{
    return store_->Load(text);
}

bool SynthRuntime::Build(int sampleRate, int blockSize, const char* dspXml)
{
    const bool hasText = dspXml && *dspXml;
    PatchMemory memory;
    KvAudioMaster* old = master_.load();
    if (old)
    {
        // No block starts in the old engine from here on; blocks that find
        // it meanwhile leave it alone.
        old->Retire();
        // The waiting clients and the batch belong to the old graph: they
        // are unlinked while it lives.
        ClearWaiters();
        staging_.Clear();
        old->Close();
        // The store keeps the values; what the patch manager holds besides
        // (learned controllers, tuning, the voices' values) goes across.
        if (DspPatchManager* patch = old->StoreManager())
        {
            patch->DetachStore();
            memory.Take(*patch);
        }
        old->ReleaseGraph();
    }
    // What the engine asked of the processor and of the block end is asked
    // again by the new one.
    tempoNeeded_ = false;
    serviceAtBlockEnd_ = false;
    reportAtBlockEnd_ = false;
    builtText_ = hasText ? dspXml : "";

    auto* fresh = new KvAudioMaster(static_cast<float>(sampleRate), this);
    fresh->SetBlockSize(blockSize);
    // A rate the engine cannot run at builds no graph.
    const bool built = sampleRate > 0 && hasText && fresh->BuildDspGraph(dspXml);
    if (built)
    {
        fresh->Open();
        if (DspPatchManager* patch = old ? fresh->StoreManager() : nullptr)
            memory.Give(*patch);
        fresh->SetRunning(true);
    }
    fresh->AttachStore(*store_, hostPrograms_, programSteps_, hostFigures_);
    master_.store(fresh);
    if (old)
    {
        // A block that found the old engine ends before it goes.
        while (blockUsers_.load() > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        delete old;
    }
    return built;
}

bool SynthRuntime::HasGraph() const
{
    const KvAudioMaster* master = master_.load();
    return master && master->HasGraph();
}

void SynthRuntime::RequestQue(QueClient* client, bool /*immediate*/)
{
    if (client)
        AddWaiter(client);
}

void SynthRuntime::ServiceDspRingBuffers()
{
    if (KvAudioMaster* master = master_.load())
        queue_.pollMessage(master);
    SendBatch();
}

void SynthRuntime::ServiceIfAskedAtBlockEnd()
{
    const bool asked = serviceAtBlockEnd_ || (reportAtBlockEnd_ && processor_ && processor_->RoomForEarlyBatch());
    serviceAtBlockEnd_ = false;
    reportAtBlockEnd_ = false;
    if (asked)
        SendBatch();
}

void SynthRuntime::SendBatch()
{
    ServiceWaitingClients();
    if (staging_.used_ == 0 || !processor_)
        return;
    if (processor_->SendDspToGuiBatch(staging_.data_, static_cast<int>(staging_.used_)))
        staging_.Clear();
}

void SynthRuntime::ServiceWaitingClients()
{
    // A client that does not fit now keeps its place and waits, but does not
    // hold back the smaller ones behind it. Clients queued again while being
    // served wait for the next service.
    QueClient* last = LastWaiter();
    QueClient* client = FirstWaiter();
    while (client)
    {
        QueClient* next = client->nextClient();
        const bool wasLast = client == last;
        const int room = static_cast<int>(StagingMemoryBuffer::kCapacity - staging_.used_);
        const int length = client->queryQueMessageLength(kClientOffer);
        if (length >= 0 && room >= length + kRecordSlack)
        {
            RemoveWaiter(client);
            client->getQueMessage(batchStream_, length);
        }
        if (wasLast)
            break;
        client = next;
    }
}

std::wstring SynthRuntime::ResolveFilename(const std::wstring& name, const std::wstring& extension)
{
    const std::wstring ownExtension = GetExtension(name);
    const std::wstring folderExtension = extension.empty() ? ownExtension : extension;
    std::wstring result = name;
    if (ownExtension.empty())
    {
        if (extension.empty())
            return name;
        result += L"." + extension;
    }
    // Relative: no drive or volume separator, and not rooted.
    if (result.find(L':') == std::wstring::npos && result.front() != L'/')
        result = combine_path_and_file(getDefaultPath(folderExtension), result);
    return result;
}

std::wstring SynthRuntime::getDefaultPath(const std::wstring& /*extension*/)
{
    return moduleFolder_;
}
