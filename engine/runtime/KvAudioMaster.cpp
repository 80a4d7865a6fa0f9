// Running the engine: opening, the host block, host MIDI, editor messages,
// the preset hand-over between threads and the records sent to the editor.
#include "engine/runtime/LookupTable.h"
#include "engine/runtime/KvAudioMaster.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <tinyxml.h>

#include "core/QueMessage.h"
#include "core/SafeXmlText.h"
#include "core/my_streams.h"
#include "engine/graph/EngineModules.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/parameters/PatchStore.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvShellDsp.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_automator.h"
#include "engine/hostio/ug_vst_in.h"
#include "engine/hostio/ug_vst_out.h"

namespace
{
constexpr auto kBlockEndWait = std::chrono::microseconds(50);

void SilenceChannels(float** channels, int first, int count, int sampleCount, int stride)
{
    if (!channels)
        return;
    const int step = std::max(stride, 1);
    for (int k = std::max(first, 0); k < count; ++k)
    {
        if (float* out = channels[k])
        {
            for (int i = 0; i < sampleCount; ++i)
                out[static_cast<ptrdiff_t>(i) * step] = 0.0f;
        }
    }
}
} // namespace

KvAudioMaster::KvAudioMaster(float sampleRate, IKvShellDsp* application) : AudioMasterBase(sampleRate, application)
{
    RegisterEngineModules();
    RegisterDspMsgHandle(this, kMasterHandle);
    timeInfo_.tempo = 120.0;
}

KvAudioMaster::~KvAudioMaster()
{
    running_ = false;
    DiscardGraph();
}

void KvAudioMaster::DiscardGraph()
{
    // The instance's shared tables go with the graph that made them; an
    // engine that holds none leaves those of the engine that replaces it.
    const bool hadGraph = top_ != nullptr;
    Close();
    ResetBlockLoop();
    if (storeManager_)
        storeManager_->DetachStore();
    storeManager_ = nullptr;
    store_ = nullptr;
    // The automators go with the graph that owns them.
    patchAutomators_.clear();
    queTimerOwner_ = nullptr;
    delete top_;
    top_ = nullptr;
    main_ = nullptr;
    // Nothing of the graph is left to use this engine's own tables.
    if (hadGraph)
        ReleaseSharedLookups(LookupOwner());
    vstIn_ = nullptr;
    vstOut_ = nullptr;
    handles_.clear();
    handles_.emplace(kMasterHandle, this);
}

IDspPatchManager* KvAudioMaster::MainPatchManager()
{
    return main_ ? main_->get_patch_manager() : nullptr;
}

void KvAudioMaster::Open()
{
    ResetBlockLoop();
    if (!top_ || opened_)
        return;
    top_->audioMaster_ = this;
    top_->Open();
    opened_ = true;
}

void KvAudioMaster::Close()
{
    if (top_ && opened_)
        top_->Close();
    opened_ = false;
}

void KvAudioMaster::DoProcess(int sampleCount, float** inputs, float** outputs, int inputCount, int outputCount,
                              int inputStride, int outputStride, int extra)
{
    if (sampleCount <= 0)
        return;
    BlockScope scope(*this);
    // The engine is being replaced: this block is silent rather than racing it.
    if (!scope.entered())
    {
        SilenceChannels(outputs, 0, outputCount, sampleCount, outputStride);
        return;
    }
    if (!opened_ || !vstIn_ || !vstOut_)
    {
        SilenceChannels(outputs, 0, outputCount, sampleCount, outputStride);
        return;
    }
    vstIn_->setInputs(inputs, inputCount, extra);
    vstIn_->setStride(inputStride);
    vstOut_->setOutputs(outputs, outputCount);
    vstOut_->setStride(outputStride);
    // Host channels beyond the graph's outputs would keep whatever they held.
    SilenceChannels(outputs, vstOut_->AudioPinCount(), outputCount, sampleCount, outputStride);
    DoProcessVST(sampleCount);
}

void KvAudioMaster::MidiIn(int offset, const unsigned char* bytes, int count)
{
    if (!vstIn_ || !bytes || count <= 0 || count > kMaxMidiMessageBytes)
        return;
    const int64_t time = SampleClock() + std::max(offset, 0);
    // A note-on may wake a voice: its modules start with the piece in which
    // the note is handed to them, and that piece starts at the note.
    if (count >= 3 && (bytes[0] & 0xF0) == 0x90 && (bytes[2] & 0x7F) != 0)
        CutAt(time);
    vstIn_->plugs_[ug_vst_in::PN_MIDI_OUT]->Transmit(time, count, bytes);
}

void KvAudioMaster::setParameterNormalizedDsp(int offset, int parameterId, double value)
{
    IDspPatchManager* manager = MainPatchManager();
    if (!manager)
        return;
    // In the time base of the container whose manager acts on it (a proxy
    // acts through the enclosing container's).
    ug_container* base = manager->Container() ? manager->Container() : main_;
    const int64_t time = base->CalculateOversampledTimestamp(top_, SampleClock() + std::max(offset, 0));
    manager->setParameterNormalized(time, parameterId, value);
}

int KvAudioMaster::ProgramDsp()
{
    IDspPatchManager* manager = MainPatchManager();
    return manager ? manager->getProgram() : 0;
}

void KvAudioMaster::setProgramDsp(int program, int offset)
{
    IDspPatchManager* manager = MainPatchManager();
    if (!manager)
        return;
    // As a value at that sample (setParameterNormalizedDsp).
    ug_container* base = manager->Container() ? manager->Container() : main_;
    manager->setProgramDspThread(program,
                                 base->CalculateOversampledTimestamp(top_, SampleClock() + std::max(offset, 0)));
}

int KvAudioMaster::getNumInputs() const
{
    return vstIn_ ? vstIn_->AudioPinCount() : 0;
}

int KvAudioMaster::getNumOutputs() const
{
    return vstOut_ ? vstOut_->AudioPinCount() : 0;
}

MidiOutputBuffer* KvAudioMaster::getMidiOutputBuffer()
{
    return vstOut_ ? vstOut_->GetMidiOutputBuffer() : nullptr;
}

void KvAudioMaster::SetBypass(bool bypass)
{
    if (bypass == bypass_)
        return;
    bypass_ = bypass;
    if (vstOut_)
        vstOut_->SetBypass(bypass);
}

void KvAudioMaster::SetDucked(bool ducked)
{
    if (!vstOut_ || !vstIn_)
        return;
    vstOut_->StartFadeOut(ducked);
    // All notes off on channel 1.
    const unsigned char allNotesOff[3] = {0xB0, 0x7B, 0x7F};
    vstIn_->plugs_[ug_vst_in::PN_MIDI_OUT]->Transmit(SampleClock() + BlockSize(), 3, allNotesOff);
}

void KvAudioMaster::Retire()
{
    // The block that runs ends before the engine goes; none starts after.
    retired_ = true;
    while (blockDepth_.load() > 0)
        std::this_thread::sleep_for(kBlockEndWait);
}

void KvAudioMaster::ReleaseGraph()
{
    if (retired_)
        DiscardGraph();
}

void KvAudioMaster::Overflows::Add(int length)
{
    count.fetch_add(1, std::memory_order_relaxed);
    int seen = longest.load(std::memory_order_relaxed);
    while (length > seen && !longest.compare_exchange_weak(seen, length, std::memory_order_relaxed))
    {
    }
}

int KvAudioMaster::Overflows::Take(int& longestSeen)
{
    longestSeen = longest.exchange(0, std::memory_order_relaxed);
    return count.exchange(0, std::memory_order_relaxed);
}

void KvAudioMaster::LogTextCuts_UI_THREAD()
{
    int longest = 0;
    if (const int cuts = textCuts_.Take(longest))
        Log(std::to_string(cuts) + " text value(s) longer than the room of " + std::to_string(textRoom_) +
            " characters cut to it on the audio thread (the longest had " + std::to_string(longest) + ")");
    if (const int refused = blobRefusals_.Take(longest))
        Log(std::to_string(refused) + " blob value(s) larger than the room of " + std::to_string(blobRoom_) +
            " bytes refused on the audio thread (the largest had " + std::to_string(longest) + ")");
    if (const int refused = sysexRefusals_.Take(longest))
        Log(std::to_string(refused) + " SysEx template(s) longer than the room of " + std::to_string(textRoom_) +
            " characters refused on the audio thread (the longest had " + std::to_string(longest) + ")");
}

// The preset state: through the patch store once the engine is attached to
// one (any thread), else the main patch manager's own (no block running).
void KvAudioMaster::getPresetState_UI_THREAD(std::string& out, bool /*processing*/)
{
    LogTextCuts_UI_THREAD();
    out.clear();
    if (store_)
        store_->Format(out);
    else if (IDspPatchManager* manager = MainPatchManager())
        manager->getPresetState(out);
}

void KvAudioMaster::setPresetState_UI_THREAD(const std::string& text, bool /*processing*/)
{
    LogTextCuts_UI_THREAD();
    if (store_)
        store_->Load(text);
    else if (IDspPatchManager* manager = MainPatchManager())
        manager->setPresetState(text);
}

void KvAudioMaster::AttachStore(PatchStore& store, int hostPrograms, int programSteps,
                                const std::vector<PatchStore::Shape>& figures)
{
    storeManager_ = StoreManager();
    if (storeManager_)
        storeManager_->AttachStore(store, hostPrograms, programSteps, figures);
    else
        store.Reshape(figures, 1, hostPrograms, programSteps);
    store_ = &store;
}

DspPatchManager* KvAudioMaster::StoreManager()
{
    // The manager that holds the patch: the main container's, or the one a
    // proxy stands for.
    IDspPatchManager* manager = MainPatchManager();
    for (int depth = 0; depth < 64; ++depth)
    {
        auto* proxy = dynamic_cast<DspPatchManagerProxy*>(manager);
        if (!proxy)
            break;
        manager = proxy->Target();
    }
    return dynamic_cast<DspPatchManager*>(manager);
}

bool KvAudioMaster::HearStore(bool programInBlock)
{
    return storeManager_ && storeManager_->HearStore(SampleClock(), programInBlock);
}

bool KvAudioMaster::ControllerStandsAt(int controller, int value)
{
    IDspPatchManager* manager = MainPatchManager();
    return manager && manager->ControllerStandsAt(controller, value);
}

// Editor messages and records.

void KvAudioMaster::OnUiMsg(int id, my_input_stream& stream)
{
    IDspPatchManager* manager = MainPatchManager();
    if (id == QueMessageId::hppc && manager)
        manager->OnUiMsg(id, stream);
}

bool KvAudioMaster::onQueMessageReady(int handle, int id, my_input_stream& stream)
{
    dsp_msg_target* target = HandleToObject(handle);
    if (!target)
        return false;
    target->OnUiMsg(id, stream);
    return true;
}

void KvAudioMaster::ServiceGuiQue()
{
    if (application_)
        application_->ServiceDspRingBuffers();
}

my_VstTimeInfo* KvAudioMaster::hostGetTime(int flags)
{
    if (flags & 0x200)
        timeInfo_.flags |= 0x200;
    return &timeInfo_;
}

void KvAudioMaster::UpdateTempo(my_VstTimeInfo* info)
{
    if (!info)
        return;
    const int32_t offline = timeInfo_.flags & 0x200;
    timeInfo_ = *info;
    timeInfo_.flags |= offline;
    for (ug_patch_automator* automator : patchAutomators_)
        automator->UpdateTempo(info);
}

void KvAudioMaster::RegisterPatchAutomator(ug_patch_automator* automator)
{
    if (std::find(patchAutomators_.begin(), patchAutomators_.end(), automator) != patchAutomators_.end())
        return;
    patchAutomators_.push_back(automator);
    if (application_)
        application_->NeedTempo();
}

void KvAudioMaster::SendRecord(int32_t id)
{
    my_output_stream* out = application_ ? application_->MessageQueToGui() : nullptr;
    if (out)
        WriteQueMessage(*out, kMasterHandle, id, nullptr, 0);
}

void KvAudioMaster::MasterReset()
{
    if (running_)
        SendRecord(QueMessageId::rest);
}

void KvAudioMaster::onFadeOutComplete()
{
    SendRecord(QueMessageId::fade);
}

void KvAudioMaster::UpdateUI()
{
    SendRecord(QueMessageId::refr);
}

void KvAudioMaster::ugmessage(const std::wstring& text, int type)
{
    my_output_stream* out = application_ ? application_->MessageQueToGui() : nullptr;
    if (!out)
        return;
    const auto length = static_cast<int32_t>(text.size() * 4 + 8);
    out->BeginRecord();
    QueMessageHeader header;
    header.handle_ = kMasterHandle;
    header.id_ = QueMessageId::mbox;
    header.length_ = length;
    header.Write(*out);
    *out << text << static_cast<int32_t>(type);
    out->EndRecord();
}
