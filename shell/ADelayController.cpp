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
#include "shell/KvClock.h"
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

ADelayController::ADelayController(MyVstPluginFactory* factory) : factory_(factory) {}

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
    BuildProgramValues(entries);
    hostCalls_.WaitOutsideHostCalls(HoldsLockAroundLoads(context));
    FindOwnValues(factory_ ? factory_->getXml("dsp.kv.xml") : std::string());
    for (const auto& [handle, controller] : controllerOfHandle_)
        ShowBoundController(handle, false);
    AttachRunLoop();
    return kResultOk;
}

void ADelayController::BuildProgramValues(const std::vector<KvParameterEntry>& entries)
{
    programValues_.clear();
    currentProgram_ = 0;
    const std::size_t programs = programNames_.size();
    if (programs < 2)
        return;
    std::set<int> seen;
    for (const KvParameterEntry& entry : entries)
    {
        // The first entry of a handle is the record; one value is no program's own.
        if (!seen.insert(entry.handle).second || entry.programTexts.size() < 2)
            continue;
        const KvParameter& record = parameters_.at(entry.handle);
        Parameter* host = HostParameter(record);
        std::vector<ProgramValue> values(programs);
        for (std::size_t p = 0; p < programs && p < entry.programTexts.size(); ++p)
        {
            // By the rule of states: what the engine would make of the text.
            ProgramValue& value = values[p];
            double plain = 0.0;
            value.known = ConformStateValue(record, entry.programTexts[p].c_str(), value.raw, plain);
            if (host && value.known)
            {
                value.known = std::isfinite(plain);
                value.normalized = host->toNormalized(plain);
            }
        }
        programValues_.emplace(entry.handle, std::move(values));
    }
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

void ADelayController::AnnounceHostValue(ParamID id, ParamValue value, int64_t moment)
{
    const bool kept = id <= static_cast<ParamID>(kMaxPatchIndex) || id == static_cast<ParamID>(kBypassParameter) ||
                      (id == static_cast<ParamID>(kProgramChangeParameter));
    if (!kept)
        return;
    // At once, on the host's thread: the next block plays it whichever
    // thread the host called on. Each value carries the moment the host set
    // it, which orders it in the processor.
    SendHostValues({{id, value, moment}});
}

void ADelayController::SendHostValues(const std::vector<KvHostIntent::HostValue>& values)
{
    if (peerConnection == nullptr || values.empty())
        return;
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message || message->getAttributes() == nullptr)
        return;
    const std::vector<unsigned char> bytes = KvHostIntent::Message(values);
    message->setMessageID(ShellMessageIds::kHostValues);
    message->getAttributes()->setBinary(ShellMessageIds::kHostValuesAttribute, bytes.data(),
                                        static_cast<uint32>(bytes.size()));
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

void ADelayController::ShowBoundController(int handle, bool tellHost)
{
    const auto bound = controllerOfHandle_.find(handle);
    const auto found = parameters_.find(handle);
    if (bound == controllerOfHandle_.end() || found == parameters_.end())
        return;
    const KvParameter& record = found->second;
    // The plain value the record holds: a list's value, not its position.
    double plain = 0.0;
    if (const Parameter* host = HostParameter(record))
    {
        plain = host->toPlain(KvHostParameter::CurrentNormalized(*host));
        int32_t value = 0;
        if (record.HasChoices() && !record.enumList.empty() &&
            KvEnumPositions(record.enumList).Value(std::llround(plain), value))
            plain = value;
    }
    else
    {
        const std::string& raw = record.value;
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
            return;
    }
    // Normalised as the engine normalises what a controller moves.
    double normalized = 0.0;
    if (record.valueType == 4)
        normalized = plain != 0.0 ? 1.0 : 0.0;
    else if (record.HasChoices() && !record.enumList.empty())
        normalized = enum_to_normalised(record.enumList, static_cast<int>(std::lround(plain)));
    else if (record.HasChoices())
        normalized = ValueRule::WholeNormalized(plain, record.rangeMinimum, record.rangeMaximum);
    else
        normalized = ValueRule::RangeNormalized(plain, record.rangeMinimum, record.rangeMaximum);
    if (!std::isfinite(normalized))
        return;
    const auto id = static_cast<ParamID>(kFirstMidiParameter + bound->second);
    normalized = std::clamp(normalized, 0.0, 1.0);
    if (getParamNormalized(id) == normalized)
        return;
    EditController::setParamNormalized(id, normalized);
    // The host's copy of the controller's parameter follows, whatever moved
    // it: the host rereads once the call that moved it has done its work.
    if (tellHost)
        hostCalls_.Restart(kParamValuesChanged);
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
    // A batch being read asks the host once, when all of it is in place.
    if (OnUiThread() && !readingBatch_)
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
    if (timer_ == nullptr && !KvHostCalls::InsideHostCall())
        FlushHostCalls();
}

void ADelayController::OnRunLoopTimer()
{
    // The host's run loop turns on its user-interface thread.
    uiThread_.store(std::this_thread::get_id());
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

void ADelayController::ProgramChanged(int program)
{
    const int programs = static_cast<int>(programNames_.size());
    if (programs > 1 && program >= 0 && program < programs)
    {
        EditController::setParamNormalized(static_cast<ParamID>(kProgramChangeParameter),
                                           static_cast<double>(program) / (programs - 1));
        // Edits that wait were made in the program before.
        if (program != currentProgram_)
            hostCalls_.OvertakenAll();
        currentProgram_ = program;
    }
    ValuesChanged();
}

void ADelayController::SaveProgram(int program)
{
    if (program < 0)
        return;
    for (auto& [handle, values] : programValues_)
    {
        const auto found = parameters_.find(handle);
        if (found == parameters_.end() || static_cast<std::size_t>(program) >= values.size())
            continue;
        ProgramValue& value = values[static_cast<std::size_t>(program)];
        value.known = true;
        if (const Parameter* host = HostParameter(found->second))
            value.normalized = KvHostParameter::CurrentNormalized(*host);
        else
            value.raw = found->second.value;
    }
}

void ADelayController::LoadProgram(int program, int64_t moment)
{
    const int programs = static_cast<int>(programNames_.size());
    if (program == currentProgram_ || program < 0 || program >= programs)
        return;
    // What the engine reports from before the choice is the program before.
    ledger_.NoteProgram(moment);
    SaveProgram(currentProgram_);
    currentProgram_ = program;
    // Edits that wait carry the program before: they go.
    hostCalls_.OvertakenAll();
    // A value the document does not give for the program stays as it is
    // until the processor reports the one it plays.
    for (const auto& [handle, values] : programValues_)
    {
        const ProgramValue& value = values[static_cast<std::size_t>(program)];
        const auto found = parameters_.find(handle);
        // A value set after the choice (a host's value that did not wait
        // for the user-interface thread as the choice did, a state's) stays.
        if (!value.known || found == parameters_.end() || !ledger_.ProgramMaySet(handle, moment))
            continue;
        ledger_.Note(handle, moment);
        KvParameter& record = found->second;
        if (HostParameter(record) != nullptr)
        {
            // Automators hear of it through update().
            EditController::setParamNormalized(static_cast<ParamID>(record.index), value.normalized);
        }
        else if (record.value != value.raw)
        {
            record.value = value.raw;
            NotifyAutomators(handle);
        }
    }
    ValuesChanged();
}

void ADelayController::StateOvertakes()
{
    hostCalls_.OvertakenAll();
}

std::map<int, std::string>& ADelayController::PendingValues()
{
    if (pendingWork_.empty() || !pendingWork_.back().batch.empty() || pendingWork_.back().program >= 0)
        pendingWork_.emplace_back();
    return pendingWork_.back().values;
}

void ADelayController::DeferBatch(const unsigned char* bytes, int size)
{
    std::lock_guard<std::mutex> lock(otherThreadsMutex_);
    PendingWork work;
    work.batch.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    pendingBatchBytes_ += work.batch.size();
    pendingWork_.push_back(std::move(work));
    // Nothing served the user-interface thread for long: the oldest batches go.
    bool dropped = false;
    while (pendingBatchBytes_ > kMaxPendingBatchBytes)
    {
        const auto oldest = std::find_if(pendingWork_.begin(), pendingWork_.end(),
                                         [](const PendingWork& w) { return !w.batch.empty(); });
        pendingBatchBytes_ -= oldest->batch.size();
        pendingWork_.erase(oldest);
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
    // In the order the calls came.
    for (;;)
    {
        PendingWork item;
        {
            std::lock_guard<std::mutex> lock(otherThreadsMutex_);
            if (pendingWork_.empty())
                break;
            item = std::move(pendingWork_.front());
            pendingWork_.pop_front();
            pendingBatchBytes_ -= item.batch.size();
        }
        if (item.state)
            StateOvertakes();
        if (!item.batch.empty())
            ReadBatch(reinterpret_cast<const unsigned char*>(item.batch.data()), static_cast<int>(item.batch.size()));
        else if (item.program >= 0)
            LoadProgram(item.program, item.moment);
        for (auto& [handle, raw] : item.values)
        {
            const auto found = parameters_.find(handle);
            if (found != parameters_.end())
                found->second.value = std::move(raw);
        }
    }
    std::vector<int> updates;
    {
        std::lock_guard<std::mutex> lock(otherThreadsMutex_);
        updates.swap(pendingUpdates_);
    }
    for (const int handle : updates)
        NotifyAutomators(handle);
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

tresult PLUGIN_API ADelayController::setComponentState(IBStream* state)
{
    // Older changes from other threads come first.
    const bool onUiThread = OnUiThread();
    if (onUiThread)
        ServiceOtherThreads();
    std::string text;
    if (!StateChunk::Read(state, text) || !StateChunk::IsPresetState(text))
        return kResultFalse;
    if (text.empty())
        return kResultOk;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return kResultOk;
    // The state's values are newer than any edit that waits, program
    // choice the processor has not played, or report of the engine's from
    // before; its program is chosen before its values. The edits and the
    // choice belong to the user-interface thread: from another, they are
    // dropped there, before the program and values queued after this.
    if (onUiThread)
        StateOvertakes();
    else
    {
        std::lock_guard<std::mutex> lock(otherThreadsMutex_);
        PendingWork work;
        work.state = true;
        pendingWork_.push_back(std::move(work));
    }
    const int64_t moment = KvClock::Now();
    ledger_.NoteAll(moment);
    ShowStateSwitches(*root, onUiThread, moment);

    // Each value is read by the same rule as in the processor, so the host
    // shows what plays; a value the rule refuses leaves the parameter as it is.
    for (const TiXmlElement* param = root->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param"))
    {
        const char* val = param->Attribute("val");
        const int index = IntAttribute(param, "index", -1);
        bool hostUpdated = false;
        Parameter* parameter =
            index >= 0 && index <= kMaxPatchIndex ? parameters.getParameter(static_cast<ParamID>(index)) : nullptr;
        if (parameter)
        {
            hostUpdated = true;
            const auto owner = std::find_if(parameters_.begin(), parameters_.end(),
                                            [&](const auto& entry) { return entry.second.index == index; });
            std::string raw;
            double plain = 0.0;
            if (val && owner != parameters_.end() &&
                ConformStateValue(owner->second, SavedValueText(owner->second, val).c_str(), raw, plain) &&
                std::isfinite(plain))
            {
                // Newer than the state's program, which may wait for the
                // user-interface thread.
                ledger_.Note(owner->first, KvClock::Now());
                parameter->setNormalized(parameter->toNormalized(plain));
            }
        }
        const int id = IntAttribute(param, "id", -1);
        const auto found = id == -1 ? parameters_.end() : parameters_.find(id);
        if (found == parameters_.end() || val == nullptr)
            continue;
        KvParameter& record = found->second;
        std::string raw;
        double plain = 0.0;
        if (!ConformStateValue(record, SavedValueText(record, val).c_str(), raw, plain))
            continue;
        ledger_.Note(id, KvClock::Now());
        if (!onUiThread)
        {
            // The records are the editor's: they change on its thread.
            std::lock_guard<std::mutex> lock(otherThreadsMutex_);
            PendingValues()[id] = std::move(raw);
            if (!hostUpdated &&
                std::find(pendingUpdates_.begin(), pendingUpdates_.end(), id) == pendingUpdates_.end())
                pendingUpdates_.push_back(id);
            continue;
        }
        record.value = raw;
        if (!hostUpdated)
            NotifyAutomators(id);
    }
    ValuesChanged();
    return kResultOk;
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
    const int64_t moment = KvClock::Now();
    // NaN and infinities are no value; the rest is clamped to 0..1.
    if (!ValueRule::Normalized(value))
        return kResultFalse;
    value = std::clamp(value, 0.0, 1.0);
    // Every value is the host's, also one it passes back from what the
    // engine reported: the engine reports only what it moved on its own.
    if (const int handle = tag == static_cast<ParamID>(kBypassParameter) ? kBypassLedger : HandleOf(tag); handle != -1)
        ledger_.Note(handle, moment);
    const tresult result = ApplyParamNormalized(tag, value, moment);
    if (result == kResultOk)
        AnnounceHostValue(tag, value, moment);
    FlushHostCalls();
    return result;
}

tresult ADelayController::ApplyParamNormalized(ParamID tag, ParamValue value, int64_t moment)
{
    // What waits for this thread comes first (the host may then read it all).
    const bool onUiThread = OnUiThread();
    if (onUiThread)
    {
        ServiceOtherThreads();
        // An editor's edit that waits is older than this value.
        hostCalls_.Overtaken(tag);
    }
    if (tag != static_cast<ParamID>(kProgramChangeParameter) || programNames_.size() < 2)
        return EditController::setParamNormalized(tag, value);
    // A program chosen on the controller (a host's program menu): the host
    // may read every value before any block plays it.
    const Parameter* programs = getParameterObject(tag);
    const tresult result = EditController::setParamNormalized(tag, value);
    if (programs == nullptr || result != kResultOk)
        return result;
    ChooseProgram(static_cast<int>(programs->toPlain(value)), onUiThread, moment);
    return result;
}

bool ADelayController::ChooseProgram(int program, bool onUiThread, int64_t moment)
{
    if (onUiThread)
    {
        LoadProgram(program, moment);
        return true;
    }
    std::lock_guard<std::mutex> lock(otherThreadsMutex_);
    PendingWork work;
    work.program = program;
    work.moment = moment;
    pendingWork_.push_back(std::move(work));
    return false;
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
