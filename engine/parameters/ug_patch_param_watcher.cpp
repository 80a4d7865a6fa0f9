#include "engine/parameters/ug_patch_param_watcher.h"

#include "core/InterfaceObject.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_midi_automator.h"

ug_patch_param_watcher::ug_patch_param_watcher()
{
    flags_ |= UGF_NEVER_SUSPEND | UGF_PARAMETER_WATCHER;
    SetProcessFunction(&ug_base::process_sleep);
}

void ug_patch_param_watcher::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&midiOutValue_, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&virtualVoiceId_, L"Voice/VirtualVoiceId", DR_IN, DT_INT, L"", L"",
                                       IO_HOST_CONTROL | IO_PAR_POLYPHONIC));
}

void ug_patch_param_watcher::CreatePlug(int id, UPlug* modulePin)
{
    if (!modulePin)
        return;
    auto* input = new UPlug(this, DR_IN, static_cast<EPlugDataType>(modulePin->datatype_));
    input->plugFlags_ |= PF_PP_ACTIVE;
    AddPlug(input);
    input->id_ = input->index_;
    input->CreateBuffer();
    connect(modulePin, input);

    ug_container* container = parentContainer_;
    if (!container)
    {
        parameters_.push_back(nullptr);
        return;
    }
    UPlug* midiOut = GetPlug(PN_MIDI_OUT);
    if (midiOut && midiOut->connections_.empty())
    {
        if (ug_patch_automator_out* out = container->AutomationOutput())
            connect(midiOut, out->GetPlug(ug_patch_automator_out::PN_HIDDEN_IN));
    }
    dsp_patch_parameter_base* parameter = nullptr;
    if (modulePin->plugFlags_ & PF_HOST_CONTROLLED)
    {
        IDspPatchManager* manager = container->get_patch_manager();
        parameter = manager ? manager->ConnectHostControl(id, input) : nullptr;
    }
    else if (IDspPatchManager* manager = container->get_patch_manager())
    {
        parameter = manager->ConnectParameter(id, input);
    }
    parameters_.push_back(parameter);
}

int ug_patch_param_watcher::Open()
{
    for (size_t i = kFixedPinCount; i < plugs_.size(); ++i)
    {
        UPlug* input = plugs_[i];
        if (!input->connections_.empty() && (input->connections_.front()->owner_->flags_ & UGF_POLYPHONIC))
            input->plugFlags_ |= kPerVoicePin;
    }
    return ug_base::Open();
}

ug_base* ug_patch_param_watcher::Clone(CUGLookupList& lookup)
{
    auto* clone = static_cast<ug_patch_param_watcher*>(ug_base::Clone(lookup));
    if (clone)
        clone->parameters_ = parameters_;
    return clone;
}

void ug_patch_param_watcher::Update(int position)
{
    const int entry = position - kFixedPinCount;
    if (entry < 0 || entry >= static_cast<int>(parameters_.size()))
        return;
    dsp_patch_parameter_base* parameter = parameters_[static_cast<size_t>(entry)];
    UPlug* input = GetPlug(position);
    if (!parameter || !input)
        return;
    const int key = (input->plugFlags_ & kPerVoicePin) ? virtualVoiceId_ : 0;
    parameter->UpdateOutputParameter(key, input);
}

void ug_patch_param_watcher::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    if (!pin)
        return;
    const int position = pin->index_;
    if (position == PN_VIRTUAL_VOICE_ID)
    {
        for (size_t i = kFixedPinCount; i < plugs_.size(); ++i)
        {
            if (plugs_[i]->plugFlags_ & kPerVoicePin)
                Update(static_cast<int>(i));
        }
        return;
    }
    if (position >= kFixedPinCount)
        Update(position);
}
