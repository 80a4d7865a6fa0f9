// The voices of a container: polyphony set-up over voice 0, voice monitors,
// the per-voice clones and their voice numbers.
#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/graph/CUGLookupList.h"
#include "engine/graph/ug_container.h"

namespace
{
enum MonitorPins
{
    MONITOR_IN = 1,
};

bool HasConnectedAudioOutput(const ug_base* module)
{
    for (const UPlug* pin : module->plugs_)
    {
        if (pin->direction_ == DR_OUT && pin->datatype_ == DT_FSAMPLE && !pin->connections_.empty())
            return true;
    }
    return false;
}

// Pass 1: the output leaves the polyphonic section for a module that runs
// once; pass 2: it feeds a polyphonic module whose audio goes nowhere.
bool QualifiesForMonitor(const UPlug* pin, int pass)
{
    for (const UPlug* to : pin->connections_)
    {
        const ug_base* module = to->owner_;
        const uint32_t f = module->flags_;
        if (pass == 1 && (f & (ug_base::UGF_VOICE_MON_IGNORE | ug_base::UGF_POLYPHONIC)) == 0)
            return true;
        if (pass == 2 && (f & ug_base::UGF_POLYPHONIC) && !HasConnectedAudioOutput(module))
            return true;
    }
    return false;
}
} // namespace

void ug_container::CollectVoiceModules(std::vector<ug_base*>& list)
{
    Voice* voice0 = VoiceAt(0);
    if (!voice0)
        return;
    const std::vector<ug_base*> modules = voice0->modules_;
    for (ug_base* module : modules)
    {
        list.push_back(module);
        // A nested container without notes of its own belongs to this
        // container's voices; one with its own note source has its own.
        auto* nested = dynamic_cast<ug_container*>(module);
        if (nested && !nested->HasNoteSource())
            nested->CollectVoiceModules(list);
    }
}

void ug_container::PolyphonicSetup()
{
    Voice* voice0 = VoiceAt(0);
    if (!voice0 || voice0->modules_.empty())
        return;
    // A snapshot throughout: set-up adds voice mutes, adders and the monitor.
    const std::vector<ug_base*> own = voice0->modules_;
    for (ug_base* module : own)
        module->InitSetDownstream();
    std::vector<ug_base*> modules;
    CollectVoiceModules(modules);
    for (ug_base* module : modules)
    {
        if (module->PPGetActiveFlag())
            module->PPSetUpstream();
    }
    // A note source may have taken its flags after it joined the voice.
    for (ug_base* module : own)
        voice0->SetNoteSource(module);
    if (!HasNoteSource())
        return;
    if (HasPolyphonicNoteSource())
    {
        for (ug_base* module : modules)
            module->InsertVoiceAdders();
    }
    else
    {
        SetUpNoteSourceVoices();
    }
    // Again: the voice mutes just placed are where a monitor listens.
    modules.clear();
    CollectVoiceModules(modules);
    if (!SetUpNoteMonitor(1, nullptr, &modules))
        SetUpNoteMonitor(2, nullptr, &modules);
}

void ug_container::SetUpNoteSourceVoices()
{
    Voice* voice0 = VoiceAt(0);
    const std::vector<ug_base*> modules = voice0->modules_;
    for (ug_base* module : modules)
    {
        if (module->flags_ & UGF_POLYPHONIC_SOURCE)
            module->PPPropogateVoiceNums();
    }
    // Modules that run for every voice, or that the voice must not put to
    // sleep, stay shared: note sources, parameter setters and watchers, the
    // container's border and nested containers.
    auto ownVoice = [this](const ug_base* module) {
        const uint32_t shared = UGF_POLYPHONIC_SOURCE | UGF_NEVER_SUSPEND | UGF_PINS_MAY_BE_TIED |
                                UGF_PARAMETER_SETTER | UGF_PARAMETER_WATCHER;
        return module->voiceNumber_ >= 1 && module->parentContainer_ == this && (module->flags_ & shared) == 0 &&
               !dynamic_cast<const ug_container*>(module);
    };
    int highest = 0;
    for (const ug_base* module : modules)
    {
        if (ownVoice(module))
            highest = std::max(highest, static_cast<int>(module->voiceNumber_));
    }
    if (highest < 1)
        return;
    AddNumberedVoices(highest);
    for (ug_base* module : modules)
    {
        Voice* voice = ownVoice(module) ? VoiceAt(module->voiceNumber_) : nullptr;
        if (!voice)
            continue;
        voice0->RemoveUG(module);
        voice->AddUG(module);
        module->flags_ |= UGF_POLYPHONIC;
    }
    for (int v = 1; v < getPhysicalVoiceCount(); ++v)
    {
        if (!SetUpNoteMonitor(1, VoiceAt(v)))
            SetUpNoteMonitor(2, VoiceAt(v));
    }
}

bool ug_container::SetUpNoteMonitor(int pass, Voice* voice, const std::vector<ug_base*>* modules)
{
    Voice* voice0 = voice ? voice : VoiceAt(0);
    const std::vector<ug_base*> list = modules ? *modules : voice0->modules_;
    ug_base* monitor = nullptr;
    for (ug_base* module : list)
    {
        if ((module->flags_ & UGF_POLYPHONIC) == 0 || module == monitor)
            continue;
        for (UPlug* pin : module->plugs_)
        {
            if (pin->direction_ != DR_OUT || pin->datatype_ != DT_FSAMPLE || pin->connections_.empty() ||
                !QualifiesForMonitor(pin, pass))
                continue;
            if (!monitor)
            {
                Module_Info* type = CModuleFactory::Instance()->GetById(L"VoiceMonitor");
                monitor = type ? type->BuildSynthOb() : nullptr;
                // Without a monitor type voices are never retired: they keep running.
                if (!monitor)
                    return false;
                AddUG(monitor);
                // Into the voice it watches (AddUG puts it in the newest).
                if (voices_.back() != voice0)
                {
                    voices_.back()->RemoveUG(monitor);
                    voice0->AddUG(monitor);
                }
                monitor->voiceNumber_ = voice0->voiceId_;
                monitor->SetupWithoutCug();
                monitor->flags_ |= UGF_POLYPHONIC;
            }
            connect(pin, monitor->GetPlug(MONITOR_IN));
        }
    }
    return monitor != nullptr;
}

void ug_container::CloneContainerVoices()
{
    // By index: a nested container's voice copies wired to a module here get
    // their adders here, and the list grows as they are made.
    for (size_t i = 0; i < modules_.size(); ++i)
    {
        if (auto* nested = dynamic_cast<ug_container*>(modules_[i]))
            nested->CloneContainerVoices();
    }
    CloneVoices();
}

void ug_container::CloneVoiceModules(Voice* model, const std::vector<Voice*>& voices)
{
    const size_t count = model->modules_.size();
    // A nested container holding per-voice modules is copied whole per voice.
    for (size_t i = 0; i < count; ++i)
    {
        auto* nested = dynamic_cast<ug_container*>(model->modules_[i]);
        if (nested && nested->HoldsPolyphonicModules())
            nested->MarkPolyphonic();
    }
    // One module's copies for every voice are made one after the other, so
    // that they lie side by side in memory as the block loop meets them
    // (it runs one module's copies together); each voice then takes its
    // own, in the order of the model.
    std::vector<CUGLookupList> lookups(voices.size());
    std::vector<std::vector<ug_base*>> clones(voices.size());
    for (size_t i = 0; i < count; ++i)
    {
        ug_base* module = model->modules_[i];
        if ((module->flags_ & UGF_POLYPHONIC) == 0)
            continue;
        for (size_t v = 0; v < voices.size(); ++v)
        {
            ug_base* clone = module->Clone(lookups[v]);
            if (!clone)
                continue;
            clones[v].push_back(clone);
            lookups[v].Add(module, clone);
        }
    }
    for (size_t v = 0; v < voices.size(); ++v)
    {
        for (ug_base* clone : clones[v])
        {
            voices[v]->AddUG(clone);
            modules_.push_back(clone);
        }
        for (size_t i = 0; i < count; ++i)
        {
            ug_base* module = model->modules_[i];
            ug_base* clone = lookups[v].Lookup2(module);
            if (clone != module)
                clone->CloneConnectorsFrom(module, lookups[v]);
        }
    }
}

void ug_container::AssignVoiceNumbers()
{
    for (Voice* voice : voices_)
    {
        voice->audioMaster_ = audioMaster_;
        // Without a note source of its own a container has no voices to
        // number: its modules keep the number of the voice they belong to.
        if (!HasNoteSource())
            continue;
        for (ug_base* module : voice->modules_)
        {
            if (module->flags_ & UGF_POLYPHONIC)
                module->SetPPVoiceNumber(voice->voiceId_);
        }
    }
}

void ug_container::MarkVoicesOpen(bool open)
{
    for (Voice* voice : voices_)
        voice->open_ = open;
}
