#include "engine/graph/ug_container.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/ug_adder2.h"
#include "engine/parameters/ug_patch_param_setter.h"

namespace
{
ug_base* BuildRegistered(const wchar_t* id)
{
    Module_Info* type = CModuleFactory::Instance()->GetById(id);
    return type ? type->BuildSynthOb() : nullptr;
}
} // namespace

ug_container::ug_container()
{
    SetProcessFunction(&ug_base::process_sleep);
}

ug_container::~ug_container()
{
    delete patchManager_;
    // Newest first: service modules go before the modules they feed.
    for (auto it = modules_.rbegin(); it != modules_.rend(); ++it)
        delete *it;
    modules_.clear();
}

int ug_container::Open()
{
    if (!audioMaster_)
        return -1;
    audioMaster_->InsertBlockDev(this);
    flags_ |= UGF_OPEN;
    AssignVoiceNumbers();
    for (ug_base* module : modules_)
    {
        if (!module->audioMaster_)
            module->audioMaster_ = audioMaster_;
        module->Open();
    }
    MarkVoicesOpen(true);
    OpenPatchManager();
    return 0;
}

int ug_container::Close()
{
    MarkVoicesOpen(false);
    for (ug_base* module : modules_)
    {
        if (module->flags_ & UGF_OPEN)
            module->Close();
    }
    return ug_base::Close();
}

void ug_container::AddUG(ug_base* module)
{
    if (!module)
        return;
    module->parentContainer_ = this;
    modules_.push_back(module);
    AddVoiceModule(module);
}

void ug_container::PostBuildStuff(bool first)
{
    if (ug_patch_param_setter* setter = parameterSetter_)
        setter->HookupSnapshotClients(this);
    if (first)
    {
        // Indexed: default sources are added to this list while it is walked.
        for (size_t i = 0; i < modules_.size(); ++i)
            modules_[i]->SetUnusedPlugs2();
    }
    if (parentContainer_)
        return;
    ReRoutePlugs();
    SetupSecondaryPatchParameterSetter();
    SortOrderSetup();
    CloneContainerVoices();
    SortAll();
}

void ug_container::ReRoutePlugs()
{
    for (size_t i = 0; i < modules_.size(); ++i)
    {
        if (auto* nested = dynamic_cast<ug_container*>(modules_[i]))
            nested->ReRoutePlugs();
    }
    PolyphonicSetup();
    for (auto it = plugs_.rbegin(); it != plugs_.rend(); ++it)
    {
        UPlug* pin = *it;
        UPlug* tied = pin->tiedTo_;
        if (!tied || tied->connections_.empty())
            continue;
        if (pin->direction_ == DR_IN)
            tied->ReRoute();
        else
            pin->ReRoute();
    }
}

void ug_container::ExportUgs(std::vector<ug_base*>& list)
{
    for (ug_base* module : modules_)
    {
        if (auto* nested = dynamic_cast<ug_container*>(module))
            nested->ExportUgs(list);
    }
    list.insert(list.end(), modules_.begin(), modules_.end());
}

void ug_container::SortOrderSetup()
{
    std::vector<ug_base*> all;
    ExportUgs(all);
    int maxOrder = -1;
    for (ug_base* module : all)
    {
        // A loop gives no order; its modules keep the in-progress mark.
        if (module->sortOrder_ == -1)
            module->GetUpstreamModule()->CalcSortOrder2(maxOrder);
    }
}

void ug_container::SortAll()
{
    std::stable_sort(modules_.begin(), modules_.end(),
                     [](const ug_base* a, const ug_base* b) { return a->sortOrder_ > b->sortOrder_; });
    for (ug_base* module : modules_)
    {
        if (auto* nested = dynamic_cast<ug_container*>(module))
            nested->SortAll();
    }
}

ug_base* ug_container::GetDefaultSetter()
{
    if (defaultSetter_)
        return defaultSetter_;
    ug_base* setter = BuildRegistered(L"KV Default Setter");
    if (!setter)
        return nullptr;
    AddUG(setter);
    setter->SetupWithoutCug();
    defaultSetter_ = setter;
    return setter;
}

ug_base* ug_container::InsertAdder(EPlugDataType datatype)
{
    if (datatype != DT_FSAMPLE)
        return nullptr;
    ug_base* adder = BuildRegistered(L"Float Adder2");
    if (!adder)
        return nullptr;
    AddUG(adder);
    adder->SetupWithoutCug();
    return adder;
}

void ug_container::setPatchManager(IDspPatchManager* manager)
{
    if (manager == patchManager_)
        return;
    delete patchManager_;
    patchManager_ = manager;
}

IDspPatchManager* ug_container::get_patch_manager()
{
    if (patchManager_)
        return patchManager_;
    if (patchControlContainer_ && patchControlContainer_ != this)
        return patchControlContainer_->get_patch_manager();
    return parentContainer_ ? parentContainer_->get_patch_manager() : nullptr;
}

int64_t ug_container::CalculateOversampledTimestamp(ug_container* top, int64_t time)
{
    for (ug_container* c = this; c; c = c->parentContainer_)
    {
        if (c == top)
            return time;
        if (!c->parentContainer_ && c->audioMaster_)
            return c->audioMaster_->CalculateOversampledTimestamp(top, time);
    }
    return time;
}

void ug_container::HandleEvent(KorvaneEvent* event)
{
    switch (event->eventType)
    {
    case UET_SUSPEND:
        suspendVoice(event->sampleTime, event->arg3);
        break;
    case UET_PLAY_HELD_BACK_NOTES:
        PlayHeldBackNotes(event->sampleTime);
        break;
    default:
        ug_base::HandleEvent(event);
        break;
    }
}

float ug_container::InitializeVoiceParameters(int64_t time, Voice* voice, bool retrigger)
{
    IDspPatchManager* manager = get_patch_manager();
    return manager ? manager->InitializeVoiceParameters(this, time, voice->voiceId_, voice->key_, retrigger) : 0.0f;
}

void ug_container::SendVoiceAutomation(int64_t time, int automationCode, float value)
{
    if (IDspPatchManager* manager = get_patch_manager())
        manager->vst_Automation(this, time, automationCode, value);
}

void ug_container::ReleaseSustainedGate(int64_t time, Voice* voice)
{
    if (IDspPatchManager* manager = get_patch_manager())
        manager->ReleaseVoiceGate(this, time, voice->voiceId_);
}

void ug_container::PostPlayHeldBackNotes()
{
    if (audioMaster_)
        PostEvent(audioMaster_->NextGlobalStartClock(), UET_PLAY_HELD_BACK_NOTES);
}

float ug_container::VoiceSampleRate()
{
    return audioMaster_ ? audioMaster_->SampleRate() : 44100.0f;
}

int64_t ug_container::PinTimestamp(UPlug* pin, int64_t time)
{
    ug_container* owner = pin && pin->owner_ ? pin->owner_->parentContainer_ : nullptr;
    return owner ? owner->CalculateOversampledTimestamp(this, time) : time;
}

void ug_container::QueueProgramChange(ug_base* module, int program)
{
    if (module->parentContainer_ == this && audioMaster_)
        module->QueProgramChange(audioMaster_->NextGlobalStartClock(), program);
}
