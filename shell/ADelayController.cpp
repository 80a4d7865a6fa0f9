#include "shell/ADelayController.h"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <string_view>

#include "base/source/updatehandler.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "core/ExactXmlText.h"
#include "core/Base64.h"
#include "core/ModuleXml.h"
#include "core/RawConversions.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "shell/KvEnumPositions.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/KvBypass.h"
#include "engine/parameters/PatchStore.h"
#include "shell/KvControllerTimer.h"
#include "shell/KvEditorServices.h"
#include "shell/KvGuarded.h"
#include "shell/KvHostParameter.h"
#include "shell/KvParameterList.h"
#include "shell/KvProgramList.h"
#include "core/ValueRule.h"
#include "shell/MyVstPluginFactory.h"
#include "core/SafeXmlText.h"
#include "shell/ShellMessageIds.h"
#include "shell/StateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    int value = fallback;
    return element->QueryIntAttribute(name, &value) == TIXML_SUCCESS ? value : fallback;
}

// A state's value text for a record: a number perhaps with the decimal comma
// of an earlier build; texts (1) and blobs (10) as they are.
std::string SavedValueText(const KvParameter& record, const char* text)
{
    return record.valueType == 1 || record.valueType == 10 ? std::string(text) : ValueRule::SavedNumberText(text);
}

// Hosts known to hold a lock of their own (not recursive) while they load a
// program, a preset or a state into the plug-in, and to take it again in
// restartComponent: Ardour, and Mixbus, which is built on it. Every other
// host is called back inside its call, as most expect.
bool HoldsLockAroundLoads(FUnknown* context)
{
    FUnknownPtr<IHostApplication> host(context);
    String128 name{};
    if (!host || host->getName(name) != kResultOk)
        return false;
    std::string text;
    for (int i = 0; i < 128 && name[i] != 0; ++i)
        text += name[i] < 128 ? static_cast<char>(name[i]) : '?';
    for (const char* known : {"Ardour", "Mixbus"})
        if (text.find(known) != std::string::npos)
            return true;
    return false;
}

} // namespace

ADelayController::ADelayController(MyVstPluginFactory* factory)
    : factory_(factory), ownStore_(std::make_shared<PatchStore>())
{
    store_.store(ownStore_.get());
}

ADelayController::~ADelayController()
{
    DetachRunLoop();
    ReleaseDependencies();
}

tresult PLUGIN_API ADelayController::initialize(FUnknown* context)
{
    uiThread_.store(std::this_thread::get_id());
    UpdateHandler::instance(true);
    // A base that fails is reported, not taken for an empty success.
    const tresult base = EditController::initialize(context);
    if (base != kResultOk)
        return base;

    std::vector<KvParameterEntry> entries;
    const std::string document = factory_ ? factory_->getXml("parameters.kv.xml") : std::string();
    if (!KvParameterList::ReadDocument(document, entries))
        return kResultFalse;
    programNames_ = KvProgramList::Read(document);
    BuildParameters(entries);
    AddMidiParameters();
    BuildOwnStore(entries, FindOwnValues(factory_ ? factory_->getXml("dsp.kv.xml") : std::string()));
    hostCalls_.WaitOutsideHostCalls(HoldsLockAroundLoads(context));
    for (const auto& [handle, controller] : controllerOfHandle_)
        ShowBoundController(handle, false);
    AttachRunLoop();
    return kResultOk;
}

void ADelayController::BuildOwnStore(const std::vector<KvParameterEntry>& entries, const std::set<int>& patchHandles)
{
    // The shapes the engine gives the patch parameters, as the parameters
    // document describes them; each program's value from its patch-list.
    const int programs = std::max(static_cast<int>(programNames_.size()), 1);
    std::vector<PatchStore::Shape> shapes;
    std::vector<const KvParameterEntry*> kept;
    std::set<int> seen;
    for (const KvParameterEntry& entry : entries)
    {
        // The record of a handle is its first entry's.
        if (!seen.insert(entry.handle).second)
            continue;
        const KvParameter& record = parameters_.at(entry.handle);
        // A host parameter no patch parameter holds keeps the host's figure.
        const auto id = static_cast<ParamID>(record.index);
        if (!patchHandles.count(entry.handle) && record.index >= 0 &&
            std::binary_search(ownValues_.begin(), ownValues_.end(), id))
        {
            PatchStore::Shape figure;
            figure.handle = entry.handle;
            figure.hostId = record.index;
            figure.kind = PatchStore::Kind::Figure;
            figure.initial = EditController::getParamNormalized(id);
            shapes.push_back(std::move(figure));
            kept.push_back(&entry);
            continue;
        }
        if (!patchHandles.count(entry.handle))
            continue;
        PatchStore::Shape shape;
        shape.handle = entry.handle;
        shape.hostId = record.index;
        shape.patches = programs;
        shape.minimum = record.rangeMinimum;
        shape.maximum = record.rangeMaximum;
        switch (record.valueType)
        {
        case 6:
            shape.kind = PatchStore::Kind::Float;
            break;
        case 8:
            shape.kind = record.enumList.empty() ? PatchStore::Kind::Int : PatchStore::Kind::Enum;
            shape.enumList = record.enumList;
            break;
        case 4:
            shape.kind = PatchStore::Kind::Bool;
            break;
        case 1:
            shape.kind = PatchStore::Kind::Text;
            shape.room = std::size_t{1024} * sizeof(int32_t);
            break;
        case 10:
            shape.kind = PatchStore::Kind::Blob;
            shape.room = 4096;
            break;
        default:
            continue;
        }
        shapes.push_back(std::move(shape));
        kept.push_back(&entry);
    }
    PatchStore& store = *ownStore_;
    store.Reshape(std::move(shapes), programs, programs > 1 ? programs : 0, programs > 1 ? programs - 1 : 127);
    for (int slot = 0; slot < store.SlotCount(); ++slot)
    {
        const KvParameterEntry& entry = *kept[static_cast<std::size_t>(slot)];
        const PatchStore::Shape& shape = store.ShapeOf(slot);
        for (int patch = 0; patch < programs && shape.kind != PatchStore::Kind::Figure; ++patch)
        {
            // A value the document gives for program 0 only is every program's.
            const std::size_t item = static_cast<std::size_t>(patch) < entry.programTexts.size() ? patch : 0;
            std::string raw;
            if (item >= entry.programTexts.size() || !PatchStore::ValueOfText(shape, entry.programTexts[item], raw))
                continue;
            if (shape.kind == PatchStore::Kind::Text || shape.kind == PatchStore::Kind::Blob)
                store.WriteBytes(slot, patch, raw.data(), raw.size(), PatchStore::Writer::Engine);
            else
            {
                uint32_t bits = 0;
                std::memcpy(&bits, raw.data(), std::min(raw.size(), sizeof(bits)));
                store.WriteRaw(slot, patch, bits, PatchStore::Writer::Engine);
            }
        }
    }
    store.TakeShown([](int) {});
}

void ADelayController::BuildParameters(std::vector<KvParameterEntry>& entries)
{
    for (KvParameterEntry& entry : entries)
    {
        if (Parameter* parameter = entry.host)
        {
            entry.host = nullptr;
            parameters.addParameter(parameter);
            parameter->addDependent(this);
            watched_.push_back(parameter);
        }
        parameters_.emplace(entry.handle, std::move(entry.record));
    }
    // The first record in handle order stands for its host parameter.
    for (const auto& [handle, record] : parameters_)
        if (record.index >= 0)
            handleOfIndex_.emplace(static_cast<ParamID>(record.index), handle);
}

int ADelayController::HandleOf(ParamID id) const
{
    const auto found = handleOfIndex_.find(id);
    return found == handleOfIndex_.end() ? -1 : found->second;
}

void ADelayController::PassOn(ParamID id, ParamValue value)
{
    if (peerConnection == nullptr)
        return;
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message || message->getAttributes() == nullptr)
        return;
    unsigned char bytes[sizeof(uint32_t) + sizeof(double)];
    const auto host = static_cast<uint32_t>(id);
    std::memcpy(bytes, &host, sizeof(host));
    std::memcpy(bytes + sizeof(host), &value, sizeof(value));
    message->setMessageID(ShellMessageIds::kHostValues);
    message->getAttributes()->setBinary(ShellMessageIds::kHostValuesAttribute, bytes, sizeof(bytes));
    sendMessage(message);
}

void ADelayController::AddMidiParameters()
{
    // Controllers and pressure rest at 0; pitch bend (the last) in the
    // middle, where the engine plays unbent, so a host writing back the bend
    // it read leaves the notes in tune. The processor sends every value a
    // host gives as a MIDI message, also one that repeats the last.
    constexpr int kPitchBend = kMidiParameterCount - 1;
    for (int i = 0; i < kMidiParameterCount; ++i)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "MIDI CC  %3d", i);
        ParameterInfo info{};
        info.id = static_cast<ParamID>(kFirstMidiParameter + i);
        KvHostParameter::WriteTitle(info.title, name);
        info.stepCount = 0;
        info.defaultNormalizedValue = i == kPitchBend ? 0.5 : 0.0;
        info.flags = 0;
        info.unitId = kRootUnitId;
        parameters.addParameter(new KvHostParameter(info));
    }
    ParameterInfo program{};
    program.id = static_cast<ParamID>(kProgramChangeParameter);
    KvHostParameter::WriteTitle(program.title, "MIDI Program Change");
    program.defaultNormalizedValue = 0.0;
    program.unitId = kRootUnitId;
    const int programs = static_cast<int>(programNames_.size());
    if (programs > 1)
    {
        // Hosts show it as the program list of the root unit.
        program.stepCount = programs - 1;
        program.flags = ParameterInfo::kIsProgramChange | ParameterInfo::kIsList;
        std::vector<std::u16string> names;
        for (const std::string& name : programNames_)
        {
            String128 wide{};
            KvHostParameter::Write(wide, name);
            names.emplace_back(reinterpret_cast<const char16_t*>(wide));
        }
        parameters.addParameter(new KvListHostParameter(program, std::move(names)));
    }
    else
    {
        // No program list to stand for: only MIDI program changes reach it.
        program.stepCount = 127;
        program.flags = 0;
        parameters.addParameter(new KvHostParameter(program));
    }
    AddBypassParameter();
}

void ADelayController::AddBypassParameter()
{
    static_assert(kBypassParameter == static_cast<int>(KvBypass::kParameterId));
    // The host's to switch and to save: the processor's state holds none.
    ParameterInfo bypass{};
    bypass.id = static_cast<ParamID>(kBypassParameter);
    KvHostParameter::WriteTitle(bypass.title, "Bypass");
    bypass.stepCount = 1;
    bypass.defaultNormalizedValue = 0.0;
    bypass.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    bypass.unitId = kRootUnitId;
    parameters.addParameter(new KvSwitchHostParameter(bypass));
}

void ADelayController::ReleaseDependencies()
{
    for (Parameter* parameter : watched_)
        parameter->removeDependent(this);
    watched_.clear();
}

tresult PLUGIN_API ADelayController::terminate()
{
    DetachRunLoop();
    ReleaseDependencies();
    automators_.clear();
    return EditController::terminate();
}

Parameter* ADelayController::HostParameter(const KvParameter& record)
{
    return record.index >= 0 ? parameters.getParameter(static_cast<ParamID>(record.index)) : nullptr;
}

bool ADelayController::BoundNormalized(int handle, double& normalized) const
{
    const auto found = parameters_.find(handle);
    if (found == parameters_.end())
        return false;
    const KvParameter& record = found->second;
    // Normalised as the engine normalises what a controller moves.
    PatchStore& store = Store();
    if (const int slot = store.SlotOfHandle(handle); slot >= 0)
    {
        const uint32_t raw = store.Read(slot, store.PatchOf(slot, store.Program())).raw;
        normalized = PatchStore::NormalizedOfRaw(store.ShapeOf(slot), raw);
    }
    else
    {
        // The plain value the record holds: a list's value, not its position.
        double plain = 0.0;
        const std::string raw = RecordValue(handle, record);
        const auto read = [&](auto number) {
            if (raw.size() != sizeof(number))
                return false;
            std::memcpy(&number, raw.data(), sizeof(number));
            plain = static_cast<double>(number);
            return true;
        };
        const bool known = record.valueType == 6   ? read(float{})
                           : record.valueType == 3 ? read(double{})
                           : record.HasChoices()   ? read(int32_t{})
                           : record.valueType == 4 ? read(char{})
                                                   : false;
        if (!known)
            return false;
        if (record.valueType == 4)
            normalized = plain != 0.0 ? 1.0 : 0.0;
        else if (record.HasChoices() && !record.enumList.empty())
            normalized = EnumNormalized(record.enumList, static_cast<int>(std::lround(plain)));
        else if (record.HasChoices())
            normalized = ValueRule::WholeNormalized(plain, record.rangeMinimum, record.rangeMaximum);
        else
            normalized = ValueRule::RangeNormalized(plain, record.rangeMinimum, record.rangeMaximum);
    }
    if (!std::isfinite(normalized))
        return false;
    normalized = std::clamp(normalized, 0.0, 1.0);
    return true;
}

void ADelayController::ShowBoundController(int handle, bool tellHost)
{
    const auto bound = controllerOfHandle_.find(handle);
    double normalized = 0.0;
    if (bound == controllerOfHandle_.end() || !BoundNormalized(handle, normalized))
        return;
    const auto id = static_cast<ParamID>(kFirstMidiParameter + bound->second);
    if (EditController::getParamNormalized(id) == normalized)
        return;
    EditController::setParamNormalized(id, normalized);
    // The host's copy of the controller's parameter follows, whatever moved
    // it: with the reread that waits, or as an edit of that parameter alone
    // (a reread of every value would take the place of those the host set
    // that the plug-in has not had yet).
    if (tellHost && id != hostSets_ && !hostCalls_.RestartWaits())
    {
        Store().DisplayShown(static_cast<int>(id), normalized);
        hostCalls_.Begin(id);
        hostCalls_.Edit(id, normalized);
        hostCalls_.End(id);
    }
}

void ADelayController::NotifyAutomators(int handle)
{
    ShowBoundController(handle);
    // An automator may leave the list while being told: walk a copy.
    const auto automators = automators_;
    for (GuiPatchAutomator2* automator : automators)
        automator->OnParameterUpdate(handle);
}

void PLUGIN_API ADelayController::update(FUnknown* changedUnknown, int32 message)
{
    if (message != IDependent::kChanged || changedUnknown == nullptr)
        return;
    Parameter* parameter = FCast<Parameter>(changedUnknown);
    if (parameter == nullptr)
        return;
    const auto id = static_cast<int32>(parameter->getInfo().id);
    for (const auto& [handle, record] : parameters_)
    {
        if (record.index == id)
        {
            if (OnUiThread())
                NotifyAutomators(handle);
            else
                DeferUpdate(handle);
            return;
        }
    }
}

void ADelayController::ValuesChanged()
{
    hostCalls_.Restart(kParamValuesChanged);
    FlushHostCalls();
}

void ADelayController::FlushHostCalls()
{
    // A batch being read asks the host once, when all of it is in place; a
    // value the host sets, once it is in place (a reread before would give
    // the host back its own older value).
    if (OnUiThread() && !readingBatch_ && hostSets_ == kNoParamId)
        hostCalls_.Flush(componentHandler);
}

void ADelayController::PointerHeld(bool held)
{
    pointerHeld_ = held;
    if (held)
        return;
    for (const ParamID id : openGestures_)
        hostCalls_.End(id);
    openGestures_.clear();
    FlushHostCalls();
}

void ADelayController::ServeHostCallsBeforeHostCall()
{
    if (timer_ != nullptr)
        return;
    // A host may offer its run loop only once the editor was made.
    AttachRunLoop();
    if (timer_ == nullptr && !KvHostCalls::InsideHostCall())
        FlushHostCalls();
}

void ADelayController::OnRunLoopTimer()
{
    // The host's run loop turns on its user-interface thread.
    uiThread_.store(std::this_thread::get_id());
    rereadInHostSets_ = false;
    ServiceOtherThreads();
    // The engine's reports that wait: a host that sends values only to the
    // processor sees them on the controller on its next turn.
    PollProcessor();
    FlushHostCalls();
}

tresult PLUGIN_API ADelayController::setComponentHandler(IComponentHandler* handler)
{
    const tresult result = EditController::setComponentHandler(handler);
    AttachRunLoop();
    return result;
}

void ADelayController::AttachRunLoop()
{
    FindRunLoop();
    TellHostOfPrograms();
}

void ADelayController::FindRunLoop()
{
    IPtr<Linux::IRunLoop> loop;
    for (FUnknown* offer : {static_cast<FUnknown*>(componentHandler), hostContext.get()})
    {
        Linux::IRunLoop* found = nullptr;
        if (offer && offer->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&found)) == kResultOk &&
            found)
        {
            loop = owned(found);
            break;
        }
    }
    if (loop == runLoop_)
        return;
    DetachRunLoop();
    if (!loop)
        return;
    auto* timer = new KvControllerTimer(this);
    if (loop->registerTimer(timer, kTimerMilliseconds) != kResultOk)
    {
        std::fprintf(stderr, "Korvane: the host's run loop refused the controller's timer; the host hears of "
                             "changed values when it next asks for its parameters.\n");
        timer->release();
        return;
    }
    runLoop_ = loop;
    timer_ = timer;
}

void ADelayController::DetachRunLoop()
{
    if (timer_ == nullptr)
        return;
    if (runLoop_)
        runLoop_->unregisterTimer(timer_);
    timer_->detach();
    timer_->release();
    timer_ = nullptr;
    runLoop_ = nullptr;
}

void ADelayController::ProgramShown(bool chosen)
{
    // Edits that wait were made in the program before; the host rereads
    // every value (a controller's parameter that shows one among them).
    hostCalls_.OvertakenAll();
    hostCalls_.Restart(kParamValuesChanged);
    for (const auto& [handle, record] : parameters_)
        if (Stored(handle))
            NotifyAutomators(handle);
    if (chosen)
        EditProgramValues();
    FlushHostCalls();
}

void ADelayController::EditProgramValues()
{
    PatchStore& store = Store();
    if (!store.TellsHostPrograms() || !OnUiThread())
        return;
    for (int slot = 0; slot < store.SlotCount(); ++slot)
    {
        const PatchStore::Shape& shape = store.ShapeOf(slot);
        const auto id = static_cast<ParamID>(shape.hostId);
        // A figure is the host's alone: no program moves it.
        if (shape.hostId < 0 || shape.kind == PatchStore::Kind::Figure || getParameterObject(id) == nullptr)
            continue;
        hostCalls_.Edit(id, store.HostValue(shape.hostId));
    }
    hostCalls_.FlushEdits(componentHandler);
}

void ADelayController::ShowStoreChanges()
{
    // A program or a state the host did not choose on the controller, or a
    // value the engine moved on its own (which not every host takes into its
    // copy from the output change): the host rereads every value. Values the
    // engine took from blocks reach the editor.
    PatchStore& store = Store();
    const bool program = store.TakeProgramShown();
    const bool state = store.TakeStateShown();
    if (store.TakeOwnMoves() || state)
        hostCalls_.Restart(kParamValuesChanged);
    if (program)
        ProgramShown(true);
    else if (state)
        EditProgramValues();
    store.TakeShown([&](int slot) { NotifyAutomators(store.ShapeOf(slot).handle); });
    FlushHostCalls();
}

bool ADelayController::Stored(int handle) const
{
    return Store().SlotOfHandle(handle) >= 0;
}

bool ADelayController::Figure(int handle) const
{
    PatchStore& store = Store();
    const int slot = store.SlotOfHandle(handle);
    return slot >= 0 && store.ShapeOf(slot).kind == PatchStore::Kind::Figure;
}

std::string ADelayController::RecordValue(int handle, const KvParameter& record) const
{
    PatchStore& store = Store();
    const int slot = store.SlotOfHandle(handle);
    if (slot < 0)
        return record.value;
    const int patch = store.PatchOf(slot, store.Program());
    const PatchStore::Kind kind = store.ShapeOf(slot).kind;
    std::string raw;
    if (kind == PatchStore::Kind::Text || kind == PatchStore::Kind::Blob)
        store.ReadBytes(slot, patch, raw);
    else
    {
        const uint32_t bits = store.Read(slot, patch).raw;
        raw.assign(reinterpret_cast<const char*>(&bits), kind == PatchStore::Kind::Bool ? 1 : sizeof(bits));
    }
    return raw;
}

void ADelayController::TakeStore(std::shared_ptr<PatchStore> store)
{
    if (!store || store.get() == store_.load())
        return;
    // The processor's store holds what plays; what the host set on the
    // controller before the two met is set on it after, in the host's order.
    std::vector<Unshared> unshared;
    {
        std::lock_guard<std::mutex> lock(unsharedMutex_);
        unshared.swap(unshared_);
        sharedStore_ = store;
        store_.store(store.get(), std::memory_order_release);
    }
    for (const Unshared& action : unshared)
    {
        if (action.id < 0)
            store->Load(action.state);
        else
            store->SetHostValue(action.id, action.value);
    }
    TellHostOfPrograms();
    store->TakeShown([](int) {});
    store->TakeProgramShown();
    store->TakeStateShown();
    store->TakeOwnMoves();
    if (OnUiThread())
    {
        for (const auto& [handle, controller] : controllerOfHandle_)
            ShowBoundController(handle, false);
        ProgramShown(false);
    }
}

void ADelayController::TellHostOfPrograms()
{
    Store().TellHostPrograms(hostCalls_.WaitsOutsideHostCalls() && timer_ == nullptr);
}

void ADelayController::DeferBatch(const unsigned char* bytes, int size)
{
    std::lock_guard<std::mutex> lock(otherThreadsMutex_);
    pendingBatches_.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    pendingBatchBytes_ += static_cast<std::size_t>(size);
    // Nothing served the user-interface thread for long: the oldest batches go.
    bool dropped = false;
    while (pendingBatchBytes_ > kMaxPendingBatchBytes)
    {
        pendingBatchBytes_ -= pendingBatches_.front().size();
        pendingBatches_.pop_front();
        dropped = true;
    }
    if (dropped)
        std::fprintf(stderr, "Korvane: the processor's reports wait for the user-interface thread; the oldest were "
                             "dropped.\n");
}

void ADelayController::DeferUpdate(int handle)
{
    std::lock_guard<std::mutex> lock(otherThreadsMutex_);
    // Each handle once: the automators read the value as it is then.
    if (std::find(pendingUpdates_.begin(), pendingUpdates_.end(), handle) == pendingUpdates_.end())
        pendingUpdates_.push_back(handle);
}

void ADelayController::ServiceOtherThreads()
{
    // Once: what the work served here sets off (an automator's edit that the
    // processor answers) waits behind it.
    if (servicing_)
        return;
    servicing_ = true;
    struct Done
    {
        bool& flag;
        ~Done() { flag = false; }
    } done{servicing_};
    // In the order the batches came.
    for (;;)
    {
        std::string batch;
        {
            std::lock_guard<std::mutex> lock(otherThreadsMutex_);
            if (pendingBatches_.empty())
                break;
            batch = std::move(pendingBatches_.front());
            pendingBatches_.pop_front();
            pendingBatchBytes_ -= batch.size();
        }
        ReadBatch(reinterpret_cast<const unsigned char*>(batch.data()), static_cast<int>(batch.size()));
    }
    std::vector<int> updates;
    {
        std::lock_guard<std::mutex> lock(otherThreadsMutex_);
        updates.swap(pendingUpdates_);
    }
    for (const int handle : updates)
        NotifyAutomators(handle);
    ShowStoreChanges();
    FlushHostCalls();
}

tresult PLUGIN_API ADelayController::getMidiControllerAssignment(int32 busIndex, int16 /*channel*/,
                                                                 CtrlNumber midiControllerNumber, ParamID& id)
{
    if (busIndex == 0 && midiControllerNumber == kCtrlProgramChange)
    {
        id = static_cast<ParamID>(kProgramChangeParameter);
        return kResultOk;
    }
    if (busIndex != 0 || midiControllerNumber < 0 || midiControllerNumber >= kMidiParameterCount)
        return kResultFalse;
    id = static_cast<ParamID>(kFirstMidiParameter + midiControllerNumber);
    return kResultOk;
}

tresult PLUGIN_API ADelayController::setComponentState(IBStream* state)
{
    // Older changes from other threads come first.
    const bool onUiThread = OnUiThread();
    if (onUiThread)
        ServiceOtherThreads();
    std::string text;
    if (!StateChunk::Read(state, text) || !StateChunk::IsPresetState(text))
        return kResultFalse;
    // The state is the host's newest action: edits that wait are older.
    if (onUiThread)
        hostCalls_.OvertakenAll();
    {
        std::lock_guard<std::mutex> lock(unsharedMutex_);
        if (!Shared())
            unshared_.push_back({-1, 0.0, text});
    }
    if (!Store().Load(text))
        return kResultFalse;
    // Values the store does not hold (host parameters only the controller
    // has) are read by the same rule as in the processor.
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
    for (const TiXmlElement* param = root ? root->FirstChildElement("Param") : nullptr; param;
         param = param->NextSiblingElement("Param"))
    {
        const char* val = param->Attribute("val");
        const int id = IntAttribute(param, "id", -1);
        const auto found = parameters_.find(id);
        std::string raw;
        double plain = 0.0;
        if (val == nullptr || found == parameters_.end() || (Stored(id) && !Figure(id)) ||
            !ConformStateValue(found->second, SavedValueText(found->second, val).c_str(), raw, plain))
            continue;
        if (Parameter* host = HostParameter(found->second))
        {
            if (std::isfinite(plain))
                Store().SetFigure(found->second.index, host->toNormalized(plain));
            if (onUiThread)
                NotifyAutomators(id);
            else
                DeferUpdate(id);
        }
        else if (onUiThread)
        {
            found->second.value = raw;
            NotifyAutomators(id);
        }
    }
    // Each value was read by the rule of the engine's, so the host shows what
    // plays; the host hears of them here (or, for a host that takes a lock
    // of its own in this call, once it has returned).
    Store().TakeStateShown();
    if (onUiThread)
        ShowStoreChanges();
    ValuesChanged();
    return kResultOk;
}

bool ADelayController::ConformStateValue(const KvParameter& record, const char* text, std::string& raw,
                                         double& plain) const
{
    plain = std::numeric_limits<double>::quiet_NaN();
    const std::string_view given = text ? text : "";
    // Only a value the host sees is bounded by its range, as in the engine.
    const bool ranged = record.index >= 0;
    const double low = ranged ? record.rangeMinimum : -std::numeric_limits<double>::infinity();
    const double high = ranged ? record.rangeMaximum : std::numeric_limits<double>::infinity();
    switch (record.valueType)
    {
    case 1:
        raw = ParseToRaw(1, std::string(given));
        return true;
    case 10:
        raw = Base64::decode(std::string(given));
        return true;
    case 6:
    {
        float v = 0.0f;
        if (!ValueRule::Float(given, low, high, v))
            return false;
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        plain = v;
        return true;
    }
    case 3:
    {
        double v = 0.0;
        if (!ValueRule::ParseNumber(given, v))
            return false;
        v = ValueRule::Clamp(v, low, high);
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        plain = v;
        return true;
    }
    case 0:
    case 8:
    {
        int32_t v = 0;
        if (record.enumList.empty())
        {
            if (!ValueRule::Int(given, low, high, v))
                return false;
            plain = v;
        }
        else
        {
            int32_t position = 0;
            if (!ValueRule::Enum(given, record.enumList, v) || !KvEnumPositions(record.enumList).Position(v, position))
                return false;
            // The host's list counts positions.
            plain = position;
        }
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        return true;
    }
    case 9:
    {
        // Ranges lie within an int32's reach, the raw value is 64 bits wide.
        int32_t v = 0;
        if (!ValueRule::Int(given, low, high, v))
            return false;
        const auto wide = static_cast<int64_t>(v);
        raw.assign(reinterpret_cast<const char*>(&wide), sizeof(wide));
        plain = v;
        return true;
    }
    case 4:
    {
        bool v = false;
        if (!ValueRule::Bool(given, v))
            return false;
        raw.assign(1, v ? '\1' : '\0');
        plain = v ? 1.0 : 0.0;
        return true;
    }
    default:
        if (!ValueRule::ParseNumber(given, plain))
            return false;
        raw = ParseToRaw(record.valueType, std::string(given));
        return true;
    }
}


tresult PLUGIN_API ADelayController::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
    if (paramIndex < 0 || paramIndex >= parameters.getParameterCount())
        return kInvalidArgument;
    return EditController::getParameterInfo(paramIndex, info);
}

ParamValue PLUGIN_API ADelayController::normalizedParamToPlain(ParamID tag, ParamValue valueNormalized)
{
    const Parameter* parameter = getParameterObject(tag);
    return parameter ? parameter->toPlain(valueNormalized) : 0.0;
}

ParamValue PLUGIN_API ADelayController::plainParamToNormalized(ParamID tag, ParamValue plainValue)
{
    const Parameter* parameter = getParameterObject(tag);
    return parameter ? parameter->toNormalized(plainValue) : 0.0;
}

tresult PLUGIN_API ADelayController::setParamNormalized(ParamID tag, ParamValue value)
{
    // NaN and infinities are no value; the rest is clamped to 0..1.
    if (!ValueRule::Normalized(value))
        return kResultFalse;
    value = std::clamp(value, 0.0, 1.0);
    const tresult result = ApplyParamNormalized(tag, value);
    const bool reread = hostCalls_.RestartWaits();
    FlushHostCalls();
    rereadInHostSets_ = rereadInHostSets_ || (reread && !hostCalls_.RestartWaits());
    return result;
}

ParamValue PLUGIN_API ADelayController::getParamNormalized(ParamID tag)
{
    PatchStore& store = Store();
    if (store.HasHostId(static_cast<int>(tag)))
        return store.HostValue(static_cast<int>(tag));
    // A MIDI controller's parameter shows the patch value that answers to it.
    double bound = 0.0;
    if (const auto found = handleOfController_.find(static_cast<int>(tag) - kFirstMidiParameter);
        found != handleOfController_.end() && BoundNormalized(found->second, bound))
        return bound;
    return EditController::getParamNormalized(tag);
}

tresult ADelayController::ApplyParamNormalized(ParamID tag, ParamValue value)
{
    // What waits for this thread comes first (the host may then read it all).
    const bool onUiThread = OnUiThread();
    if (onUiThread)
    {
        // What waits for this thread is older than this value: an editor's
        // edit of it, or the engine's move of a controller's parameter.
        hostSets_ = tag;
        ServiceOtherThreads();
        hostSets_ = kNoParamId;
        hostCalls_.Overtaken(tag);
    }
    PatchStore& store = Store();
    const int id = static_cast<int>(tag);
    if (!store.HasHostId(id) || (id == PatchStore::kProgramId && getParameterObject(tag) == nullptr))
        return EditController::setParamNormalized(tag, value);
    {
        std::lock_guard<std::mutex> lock(unsharedMutex_);
        if (!Shared())
        {
            unshared_.push_back({id, value, {}});
            PassOn(tag, value);
        }
    }
    // Passed over: the value is the copy of a block's point that acted already.
    const int program = store.Program();
    if (!store.SetHostValue(id, value))
        return kResultOk;
    if (rereadInHostSets_ && onUiThread)
        hostCalls_.Restart(kParamValuesChanged);
    if (id == PatchStore::kProgramId)
    {
        // The program it plays already, written back: nothing changed.
        if (store.Program() == program)
            return kResultOk;
        // A program chosen on the controller (a host's program menu): the
        // host may read every value before any block plays it.
        if (onUiThread)
            ProgramShown(true);
        else
            for (const auto& [handle, record] : parameters_)
                if (Stored(handle))
                    DeferUpdate(handle);
        ValuesChanged();
        return kResultOk;
    }
    if (const int handle = HandleOf(tag); handle >= 0)
    {
        if (onUiThread)
            NotifyAutomators(handle);
        else
            DeferUpdate(handle);
    }
    return kResultOk;
}

tresult PLUGIN_API ADelayController::getParamStringByValue(ParamID tag, ParamValue valueNormalized,
                                                           String128 string)
{
    if (string == nullptr)
        return kInvalidArgument;
    string[0] = 0;
    if (!ValueRule::Normalized(valueNormalized))
        return kResultFalse;
    return EditController::getParamStringByValue(tag, valueNormalized, string);
}

tresult PLUGIN_API ADelayController::getParamValueByString(ParamID tag, TChar* string,
                                                           ParamValue& valueNormalized)
{
    if (string == nullptr)
        return kInvalidArgument;
    Parameter* parameter = getParameterObject(tag);
    ParamValue value = 0.0;
    if (parameter == nullptr || !parameter->fromString(string, value) || !ValueRule::Normalized(value))
        return kResultFalse;
    valueNormalized = value;
    return kResultOk;
}

IPlugView* PLUGIN_API ADelayController::createView(FIDString name)
{
    if (name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    // Views are made, and live, on the user-interface thread.
    uiThread_.store(std::this_thread::get_id());
    ServiceOtherThreads();
    ViewRect size(0, 0, 100, 100);
    return new GuardedView<KVVSTGUIEditor>(this, std::make_unique<KvEditorServices>(*this), &size);
}
