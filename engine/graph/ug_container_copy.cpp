// Whole copies of a container for the voices of a polyphonic parent: every
// module of its first voice is copied (nested containers and oversamplers
// with all they hold) and joined like the original. Graph building only.
#include "engine/graph/CUGLookupList.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/ug_patch_automator.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"

namespace
{
template <class T>
T* Mapped(T* model, const CUGLookupList& lookup)
{
    if (!model)
        return nullptr;
    ug_base* copy = lookup.Lookup2(model);
    return copy == model ? nullptr : dynamic_cast<T*>(copy);
}
} // namespace

void ug_container::CopyModulesInto(ug_container* copy, CUGLookupList& lookup, bool everything)
{
    Voice* voice0 = VoiceAt(0);
    if (!voice0)
        return;
    // Indexed over a snapshot: copies go into the copy, not here.
    const std::vector<ug_base*> modules = voice0->modules_;
    for (ug_base* module : modules)
    {
        // Modules that sum or serve all voices stay shared; so do the
        // automation modules, which must hear the host's MIDI only once.
        if (!everything && (module->flags_ & UGF_POLYPHONIC) == 0)
            continue;
        if (dynamic_cast<ug_patch_automator*>(module) || dynamic_cast<ug_patch_automator_out*>(module))
            continue;
        // Border modules make no copies of themselves: their oversampler's copy makes new ones.
        ug_base* clone = module->Clone(lookup);
        if (!clone)
            continue;
        copy->AddUG(clone);
        lookup.Add(module, clone);
        // Outputs start from the values of the original (a default setter's
        // outputs hold the defaults they send).
        for (size_t i = 0; i < clone->plugs_.size() && i < module->plugs_.size(); ++i)
        {
            UPlug* pin = clone->plugs_[i];
            const UPlug* model = module->plugs_[i];
            if (pin->direction_ != DR_OUT || !model->variable_)
                continue;
            if (!pin->variable_)
                pin->CreateBuffer();
            pin->CloneBufferValue(*model);
        }
    }
    copy->defaultSetter_ = Mapped(defaultSetter_, lookup);
    copy->patchAutomator_ = Mapped(patchAutomator_, lookup);
    copy->automationOutput_ = Mapped(automationOutput_, lookup);
    copy->parameterSetter_ = Mapped(parameterSetter_, lookup);
    copy->parameterSetterSecondary_ = Mapped(parameterSetterSecondary_, lookup);
    copy->parameterWatcher_ = Mapped(parameterWatcher_, lookup);
}

ug_base* ug_container::Clone(CUGLookupList& lookup)
{
    auto* copy = dynamic_cast<ug_container*>(Create());
    if (!copy)
        return nullptr;
    SetupClone(copy);
    copy->polyphonic_ = polyphonic_;
    copy->setVoiceReserveCount(voiceReserveCount());
    copy->setVoiceCount(VoiceCount());
    // The modules keep the container whose manager serves them: a copy
    // shares the original's manager rather than owning one.
    CopyModulesInto(copy, lookup, false);
    return copy;
}

void ug_container::CloneConnectorsFrom(ug_base* model, CUGLookupList& lookup)
{
    ug_base::CloneConnectorsFrom(model, lookup);
    auto* original = dynamic_cast<ug_container*>(model);
    Voice* voice0 = original ? original->VoiceAt(0) : nullptr;
    if (!voice0)
        return;
    for (ug_base* module : voice0->modules_)
    {
        ug_base* clone = lookup.Lookup2(module);
        if (clone != module)
            clone->CloneConnectorsFrom(module, lookup);
    }
    // A copy with voices of its own makes them now that its first is joined.
    CloneContainerVoices();
}

void ug_container::CopyConnectorsFrom(ug_base* model, CUGLookupList& lookup)
{
    ug_base::CopyConnectorsFrom(model, lookup);
    auto* original = dynamic_cast<ug_container*>(model);
    Voice* voice0 = original ? original->VoiceAt(0) : nullptr;
    if (!voice0)
        return;
    for (ug_base* module : voice0->modules_)
    {
        ug_base* copy = lookup.Lookup2(module);
        if (copy != module)
            copy->CopyConnectorsFrom(module, lookup);
    }
    CloneContainerVoices();
}

bool ug_container::BelongsToVoice(const ug_base* module) const
{
    // Everything held by an oversampler that runs per voice is that voice's.
    return (module->flags_ & UGF_POLYPHONIC) || !parentContainer_;
}

void ug_container::SetPPVoiceNumber(int voice)
{
    ug_base::SetPPVoiceNumber(voice);
    if (Voice* voice0 = VoiceAt(0))
    {
        for (ug_base* module : voice0->modules_)
        {
            if (BelongsToVoice(module))
                module->SetPPVoiceNumber(voice);
        }
    }
}

void ug_container::Suspend()
{
    ug_base::Suspend();
    if (Voice* voice0 = VoiceAt(0))
    {
        for (ug_base* module : voice0->modules_)
        {
            if (module->flags_ & UGF_POLYPHONIC)
                module->Suspend();
        }
    }
}

void ug_container::Resume(int64_t time)
{
    ug_base::Resume(time);
    if (Voice* voice0 = VoiceAt(0))
    {
        for (ug_base* module : voice0->modules_)
        {
            if (module->flags_ & UGF_POLYPHONIC)
                module->Resume(time);
        }
    }
}

bool ug_container::HoldsPolyphonicModules() const
{
    const Voice* voice0 = voices_.empty() ? nullptr : voices_.front();
    if (!voice0)
        return false;
    for (const ug_base* module : voice0->modules_)
    {
        if (module->flags_ & UGF_POLYPHONIC)
            return true;
        if (auto* nested = dynamic_cast<const ug_container*>(module); nested && nested->HoldsPolyphonicModules())
            return true;
    }
    return false;
}

void ug_container::MarkPolyphonic()
{
    flags_ |= UGF_POLYPHONIC;
    Voice* voice0 = VoiceAt(0);
    if (!voice0)
        return;
    for (ug_base* module : voice0->modules_)
    {
        if (auto* nested = dynamic_cast<ug_container*>(module))
            nested->MarkPolyphonic();
        // Where the voices are summed stays one module for all of them.
        else if ((module->flags_ & UGF_POLYPHONIC_AGGREGATOR) == 0)
            module->flags_ |= UGF_POLYPHONIC;
    }
}
