// Per-voice copies of modules and the propagation of polyphony through the
// graph: run while the graph is built, never in the block loop.
#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/graph/CUGLookupList.h"
#include "engine/graph/ug_base.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_param_setter.h"

namespace
{
// An output that carries one value per voice (set by the parameter setter).
constexpr uint32_t kPolyphonicSourcePin = 0x1000;
constexpr uint32_t kVoiceMuteFlags = 0x200004;

enum VoiceMutePins
{
    VM_IN = 0,
    VM_OUT = 2,
    VM_THIRD_SOURCE = 3,
};

bool IsSignalOutput(const UPlug* pin)
{
    return pin->direction_ == DR_OUT && pin->datatype_ != DT_MIDI2;
}
} // namespace

ug_base* ug_base::Clone(CUGLookupList& /*lookup*/)
{
    ug_base* clone = Create();
    if (clone)
        SetupClone(clone);
    return clone;
}

void ug_base::SetupClone(ug_base* clone)
{
    ug_base* last = this;
    while (last->nextClone_)
        last = last->nextClone_;
    last->nextClone_ = clone;
    clone->cloneOf_ = this;
    clone->moduleType = moduleType;
    clone->handle_ = handle_;
    clone->sortOrder_ = sortOrder_;
    clone->plainPiece_ = plainPiece_;
    clone->parentContainer_ = parentContainer_;
    clone->patchControlContainer_ = patchControlContainer_;
    clone->audioMaster_ = audioMaster_;
    clone->AddPlugs(this);
    clone->flags_ = flags_ & ~(UGF_SUSPENDED | UGF_OPEN);
}

void ug_base::AddPlugs(ug_base* model)
{
    AddFixedPlugs();
    for (size_t i = plugs_.size(); i < model->plugs_.size(); ++i)
        AddPlug(new UPlug(this, model->plugs_[i]));
    SetupDynamicPlugs();
}

void ug_base::CloneConnectorsFrom(ug_base* model, CUGLookupList& lookup)
{
    const size_t count = std::min(plugs_.size(), model->plugs_.size());
    for (size_t i = 0; i < count; ++i)
    {
        UPlug* modelPin = model->plugs_[i];
        UPlug* pin = plugs_[i];
        for (size_t j = modelPin->connections_.size(); j-- > 0;)
        {
            UPlug* other = modelPin->connections_[j];
            if (modelPin->direction_ == DR_IN)
            {
                // Polyphonic sources join their own clones from their side.
                if (other->owner_->flags_ & UGF_POLYPHONIC)
                    continue;
                // A per-voice parameter value on an audio input: this voice
                // reads a block of its own.
                if ((other->plugFlags_ & PF_PER_VOICE_BLOCK) && (other->owner_->flags_ & UGF_PARAMETER_SETTER))
                    other = static_cast<ug_patch_param_setter*>(other->owner_)->VoiceOutputFor(other);
                connect(other, pin);
                continue;
            }
            if (ug_base* target = lookup.LookupPolyphonic(other->owner_))
                connect(pin, target->GetPlug(other->index_));
        }
    }
}

void ug_base::CopyConnectorsFrom(ug_base* model, CUGLookupList& lookup)
{
    const size_t count = std::min(plugs_.size(), model->plugs_.size());
    for (size_t i = 0; i < count; ++i)
    {
        UPlug* modelPin = model->plugs_[i];
        if (modelPin->direction_ != DR_OUT)
            continue;
        for (size_t j = modelPin->connections_.size(); j-- > 0;)
        {
            UPlug* other = modelPin->connections_[j];
            connect(plugs_[i], lookup.Lookup2(other->owner_)->GetPlug(other->index_));
        }
    }
}

bool ug_base::PPSetDownstream()
{
    if (flags_ & (UGF_PP_REACHED | UGF_POLYPHONIC_AGGREGATOR))
        return true;
    flags_ |= UGF_PP_REACHED;
    for (UPlug* out : plugs_)
    {
        if (!IsSignalOutput(out))
            continue;
        for (UPlug* in : out->connections_)
        {
            // Voices fed back into a note source: a loop, reported by the result.
            if (in->owner_->flags_ & UGF_POLYPHONIC_SOURCE)
                return false;
            in->plugFlags_ |= PF_PP_DOWNSTREAM;
            if (!in->owner_->PPSetDownstream())
                return false;
        }
    }
    return true;
}

void ug_base::PPSetUpstream()
{
    if ((flags_ & UGF_PP_REACHED) == 0 || (flags_ & UGF_POLYPHONIC))
        return;
    flags_ |= UGF_POLYPHONIC;
    for (UPlug* in : plugs_)
    {
        if (in->direction_ != DR_IN)
            continue;
        for (UPlug* source : in->connections_)
            source->owner_->PPSetUpstream();
    }
}

bool ug_base::InitSetDownstream()
{
    bool ok = true;
    for (UPlug* out : plugs_)
    {
        if (out->direction_ != DR_OUT || (out->plugFlags_ & kPolyphonicSourcePin) == 0)
            continue;
        for (UPlug* in : out->connections_)
        {
            in->plugFlags_ |= PF_PP_DOWNSTREAM;
            if (!in->owner_->PPSetDownstream())
                ok = false;
        }
    }
    return ok;
}

void ug_base::PPPropogateVoiceNum(int voice)
{
    if (voiceNumber_ == 0 || voiceNumber_ == voice || (flags_ & UGF_POLYPHONIC_AGGREGATOR))
        return;
    voiceNumber_ = voiceNumber_ < 1 ? voice : 0;
    for (UPlug* out : plugs_)
    {
        if (out->direction_ != DR_OUT)
            continue;
        for (UPlug* in : out->connections_)
        {
            if (in->owner_->parentContainer_ == parentContainer_)
                in->owner_->PPPropogateVoiceNum(voice);
        }
    }
}

void ug_base::PPPropogateVoiceNumUp(int voice)
{
    if (voiceNumber_ == 0 || voiceNumber_ == voice || (flags_ & UGF_POLYPHONIC_AGGREGATOR))
        return;
    voiceNumber_ = voiceNumber_ < 1 ? voice : 0;
    for (UPlug* in : plugs_)
    {
        if (in->direction_ != DR_IN || in->datatype_ == DT_MIDI2)
            continue;
        for (UPlug* source : in->connections_)
            source->owner_->PPPropogateVoiceNumUp(voice);
    }
}

void ug_base::InsertVoiceAdders()
{
    if ((flags_ & UGF_POLYPHONIC) == 0 || (flags_ & UGF_VOICE_MUTE) || !parentContainer_)
        return;
    for (UPlug* out : plugs_)
    {
        // Only audio can be summed; other values keep their one connection.
        if (out->direction_ != DR_OUT || out->datatype_ != DT_FSAMPLE)
            continue;
        for (size_t j = out->connections_.size(); j-- > 0;)
        {
            if (j >= out->connections_.size())
                continue;
            UPlug* in = out->connections_[j];
            ug_base* dest = in->owner_;
            if (dest->flags_ & UGF_POLYPHONIC)
                continue;
            out->DeleteConnection(in);

            UPlug* source = out;
            if ((dest->flags_ & UGF_VOICE_MON_IGNORE) == 0)
            {
                Module_Info* type = CModuleFactory::Instance()->GetById(L"KV Voice Mute");
                ug_base* mute = type ? type->BuildSynthOb() : nullptr;
                if (mute)
                {
                    mute->flags_ |= kVoiceMuteFlags;
                    parentContainer_->AddUG(mute);
                    mute->SetupWithoutCug();
                    if (parentContainer_->ThirdSourceFlag())
                    {
                        if (UPlug* third = mute->GetPlug(VM_THIRD_SOURCE))
                            third->SetDefault("1");
                    }
                    connect(out, mute->GetPlug(VM_IN));
                    if (UPlug* muted = mute->GetPlug(VM_OUT))
                        source = muted;
                }
            }

            if (in->IsAdder())
            {
                in->proxy_ = nullptr;
                connect(source, in);
                dest->flags_ |= UGF_POLYPHONIC_AGGREGATOR;
                continue;
            }
            ug_base* adder = parentContainer_->InsertAdder(DT_FSAMPLE);
            if (!adder || !adder->GetPlug(1))
            {
                connect(source, in);
                continue;
            }
            connect(source, adder->GetPlug(1));
            in->proxy_ = nullptr;
            connect(adder->GetPlug(0), in);
            adder->flags_ |= dest->flags_ & UGF_VOICE_MON_IGNORE;
            // Later voices land in the same adder.
            in->proxy_ = adder->GetPlug(1);
            adder->flags_ |= UGF_POLYPHONIC_AGGREGATOR;
        }
    }
}
