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
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvShellDsp.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_automator.h"
#include "engine/hostio/ug_vst_in.h"
#include "engine/hostio/ug_vst_out.h"

namespace
{
constexpr int kPresetWaits = 50;
constexpr auto kPresetWait = std::chrono::milliseconds(10);
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
    FreeHandedBack(true);
}

void KvAudioMaster::DiscardGraph()
{
    // The instance's shared tables go with the graph that made them; an
    // engine that holds none leaves those of the engine that replaces it.
    const bool hadGraph = top_ != nullptr;
    Close();
    ResetBlockLoop();
    // Sets in transit point at the parameters of this graph.
    FreeHandedBack(true);
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
    interrupt_ = false;
    FreeHandedBack(true);
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
    if (interrupt_.load(std::memory_order_acquire))
        HandleInterrupt();
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

void KvAudioMaster::StoreParameterNormalizedDsp(int parameterId, double value, int program)
{
    if (IDspPatchManager* manager = MainPatchManager())
        manager->StoreParameterNormalized(parameterId, value, program);
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

// Preset hand-over. The document is read and written on the user-interface
// thread; the audio thread only applies or copies out a set of values that
// was made for it, taking it from its slot by an atomic exchange.

void KvAudioMaster::HandBack(PresetValues* set)
{
    PresetValues* head = handedBack_.load(std::memory_order_relaxed);
    do
        set->next = head;
    while (!handedBack_.compare_exchange_weak(head, set, std::memory_order_release, std::memory_order_relaxed));
}

void KvAudioMaster::FreeHandedBack(bool everything)
{
    PresetValues* set = handedBack_.exchange(nullptr, std::memory_order_acquire);
    while (set)
    {
        PresetValues* next = set->next;
        delete set;
        set = next;
    }
    // A late answer to a read that was given up.
    delete getDone_.exchange(nullptr, std::memory_order_acquire);
    if (everything)
    {
        delete setPending_.exchange(nullptr, std::memory_order_acq_rel);
        delete getPending_.exchange(nullptr, std::memory_order_acq_rel);
    }
}

std::unique_ptr<PresetValues> KvAudioMaster::CaptureState()
{
    IDspPatchManager* manager = MainPatchManager();
    std::unique_ptr<PresetValues> set = manager ? manager->CaptureWholePreset() : std::make_unique<PresetValues>();
    CaptureHostSwitches(*set);
    return set;
}

void KvAudioMaster::FormatState(const std::unique_ptr<PresetValues>& set, std::string& out)
{
    out.clear();
    IDspPatchManager* manager = MainPatchManager();
    if (manager)
        manager->FormatPresetState(*set, out);
    // Without values the state is empty, unless the bypass is on.
    else if (set->bypass)
        set->Format(out);
}

void KvAudioMaster::CaptureHostSwitches(PresetValues& set)
{
    IHostBypass* bypass = application_ ? application_->HostBypass() : nullptr;
    set.bypass = bypass && bypass->BypassWanted();
    if (application_ && set.program >= application_->HostPrograms())
        set.program = -1;
}

std::unique_ptr<PresetValues> KvAudioMaster::PrepareState(IDspPatchManager& manager, const std::string& text)
{
    std::unique_ptr<PresetValues> set = manager.PreparePresetState(text);
    if (set && application_ && set->program >= application_->HostPrograms())
        set->program = -1;
    return set;
}

void KvAudioMaster::ApplyPresetSet(IDspPatchManager* manager, PresetValues& set)
{
    if (manager)
        manager->ApplyPresetValues(set);
    if (IHostBypass* bypass = application_ ? application_->HostBypass() : nullptr)
        bypass->BypassFromState(set.bypass);
}

void KvAudioMaster::HoldOffBlocks()
{
    // The audio thread starts no block from here on (the next one waits for
    // this thread, which therefore looks often); one already running is
    // waited for however long it takes, as what it runs is the block's alone.
    directAccess_.store(true);
    while (blockDepth_.load() > 0)
        std::this_thread::sleep_for(kBlockEndWait);
}

void KvAudioMaster::HeldOff(const std::function<void()>& work)
{
    HoldOffBlocks();
    // A state handed over but not yet applied comes first: it is older.
    if (PresetValues* set = setPending_.exchange(nullptr, std::memory_order_acq_rel))
    {
        ApplyPresetSet(MainPatchManager(), *set);
        delete set;
    }
    work();
    directAccess_.store(retired_.load());
}

void KvAudioMaster::ReadPresetStateDirectly(std::string& out)
{
    // Blocks wait only while the values are copied.
    std::unique_ptr<PresetValues> set;
    HeldOff([&] { set = CaptureState(); });
    FormatState(set, out);
}

void KvAudioMaster::RunWithBlocksHeldOff(const std::function<void()>& work)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    FreeHandedBack();
    HeldOff(work);
}

void KvAudioMaster::WritePresetStateDirectly(const std::string& text)
{
    HoldOffBlocks();
    // An older state still in transit must not overwrite this one.
    delete setPending_.exchange(nullptr, std::memory_order_acq_rel);
    WritePresetState(text);
    directAccess_.store(retired_.load());
}

void KvAudioMaster::WritePresetState(const std::string& text)
{
    IDspPatchManager* manager = MainPatchManager();
    if (manager && !text.empty())
    {
        if (std::unique_ptr<PresetValues> set = PrepareState(*manager, text))
            ApplyPresetSet(manager, *set);
        return;
    }
    // No values to take (an empty state holds none): only the bypass, off
    // unless the state says otherwise.
    PresetValues set;
    TiXmlDocument document;
    if (!text.empty() && IsSafeXmlText(text))
        document.Parse(text.c_str());
    if (const TiXmlElement* root = document.Error() ? nullptr : document.FirstChildElement("Parameters"))
        set.ReadSwitches(*root, 0);
    ApplyPresetSet(nullptr, set);
}

void KvAudioMaster::Retire()
{
    retired_ = true;
    HoldOffBlocks();
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

PresetValues* KvAudioMaster::AwaitCapture(uint64_t serial)
{
    for (int i = 0; i < kPresetWaits; ++i)
    {
        std::this_thread::sleep_for(kPresetWait);
        if (PresetValues* done = getDone_.exchange(nullptr, std::memory_order_acquire))
        {
            if (done->serial == serial)
                return done;
            delete done;
        }
    }
    return nullptr;
}

void KvAudioMaster::getPresetState_UI_THREAD(std::string& out, bool processing)
{
    // Hosts may save and load from threads of their own at the same time.
    std::lock_guard<std::mutex> lock(stateMutex_);
    LogTextCuts_UI_THREAD();
    FreeHandedBack();
    IDspPatchManager* manager = MainPatchManager();
    if (!processing || !manager)
    {
        ReadPresetStateDirectly(out);
        return;
    }
    std::unique_ptr<PresetValues> room = manager->PreparePresetCapture();
    // Values longer than the room made for them are read again with room
    // for their length; they can only grow between reads so often.
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        room->serial = ++captureSerial_;
        const uint64_t serial = room->serial;
        getPending_.store(room.release(), std::memory_order_release);
        interrupt_.store(true, std::memory_order_release);
        std::unique_ptr<PresetValues> done(AwaitCapture(serial));
        if (!done)
        {
            // Withdrawn before the audio thread took it: read here.
            if (PresetValues* withdrawn = getPending_.exchange(nullptr, std::memory_order_acq_rel))
            {
                delete withdrawn;
                ReadPresetStateDirectly(out);
                return;
            }
            // Taken: the audio thread finishes its copy shortly.
            done.reset(AwaitCapture(serial));
            if (!done)
            {
                ReadPresetStateDirectly(out);
                return;
            }
        }
        if (done->complete)
        {
            manager->FormatPresetState(*done, out);
            return;
        }
        done->GrowShortValues();
        room = std::move(done);
    }
    ReadPresetStateDirectly(out);
}

void KvAudioMaster::setPresetState_UI_THREAD(const std::string& text, bool processing)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    LogTextCuts_UI_THREAD();
    FreeHandedBack();
    IDspPatchManager* manager = MainPatchManager();
    if (!processing || !manager)
    {
        WritePresetStateDirectly(text);
        return;
    }
    std::unique_ptr<PresetValues> set = PrepareState(*manager, text);
    // A text that is no state still replaces an older state in transit.
    if (!set)
        set = std::make_unique<PresetValues>();
    delete setPending_.exchange(set.release(), std::memory_order_acq_rel);
    interrupt_.store(true, std::memory_order_release);
}

void KvAudioMaster::HandleInterrupt()
{
    interrupt_.store(false, std::memory_order_relaxed);
    IDspPatchManager* manager = MainPatchManager();
    // A state set before a read is applied first, so the read returns it.
    ApplyStateSetBefore();
    if (PresetValues* room = getPending_.exchange(nullptr, std::memory_order_acq_rel))
    {
        if (manager)
            manager->CapturePresetValues(*room);
        CaptureHostSwitches(*room);
        if (PresetValues* late = getDone_.exchange(room, std::memory_order_acq_rel))
            HandBack(late);
    }
}

bool KvAudioMaster::ControllerStandsAt(int controller, int value)
{
    IDspPatchManager* manager = MainPatchManager();
    return manager && manager->ControllerStandsAt(controller, value);
}

void KvAudioMaster::ApplyStateSetBefore()
{
    if (PresetValues* set = setPending_.exchange(nullptr, std::memory_order_acq_rel))
    {
        ApplyPresetSet(MainPatchManager(), *set);
        HandBack(set);
    }
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
