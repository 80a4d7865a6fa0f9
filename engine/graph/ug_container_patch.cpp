// The patch side of a container: its patch manager read from the document,
// its automation modules, the parameter setter and watcher service modules
// and the routing of host controls to the container that serves them.
#include <tinyxml.h>

#include "core/CModuleFactory.h"
#include "core/HostControls.h"
#include "core/Module_Info.h"
#include "core/QueMessage.h"
#include "core/my_streams.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/ug_patch_automator.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"

namespace
{
constexpr int kMaxParameters = 10000;

template <class Module>
Module* MakeService(ug_container* container, const wchar_t* id)
{
    Module_Info* type = CModuleFactory::Instance()->GetById(id);
    auto* module = type ? dynamic_cast<Module*>(type->BuildSynthOb()) : nullptr;
    if (!module)
        return nullptr;
    container->AddUG(module);
    module->patchControlContainer_ = container;
    module->SetupWithoutCug();
    return module;
}
} // namespace

void ug_container::BuildPatchManager(TiXmlElement* patchManagerElement)
{
    if (!patchManagerElement)
        return;
    int program = 0;
    int channel = -1;
    patchManagerElement->QueryIntAttribute("Program", &program);
    patchManagerElement->QueryIntAttribute("MidiChannel", &channel);
    auto* manager = new DspPatchManager(this);
    setPatchManager(manager);
    manager->setMidiChannel(channel);
    TiXmlElement* parameters = patchManagerElement->FirstChildElement("Parameters");
    int count = 0;
    for (TiXmlElement* element = parameters ? parameters->FirstChildElement() : nullptr;
         element && count < kMaxParameters; element = element->NextSiblingElement(), ++count)
    {
        int datatype = -1;
        element->QueryIntAttribute("DataType", &datatype);
        // An element whose type names no parameter class is skipped.
        if (dsp_patch_parameter_base* parameter = manager->createPatchParameter(datatype))
        {
            parameter->Initialize(element);
            if (audioMaster_)
                parameter->ReserveValueRoom(*audioMaster_);
        }
    }
    // Set after the parameters exist, so that a program they do not store is refused.
    manager->setProgram(program >= 0 && program < manager->PatchCount() ? program : 0);
}

void ug_container::BuildAutomationModules()
{
    if (automationOutput_)
        return;
    for (ug_base* module : Modules())
    {
        if (auto* automator = dynamic_cast<ug_patch_automator*>(module))
        {
            patchAutomator_ = automator;
            break;
        }
    }
    if (!patchAutomator_)
        patchAutomator_ = MakeService<ug_patch_automator>(this, L"KV Patch Automator");
    automationOutput_ = MakeService<ug_patch_automator_out>(this, L"MIDI Automator Output");
    if (!patchAutomator_ || !automationOutput_)
        return;
    automationOutput_->patchAutomator_ = patchAutomator_;
    UPlug* automatorOut = patchAutomator_->GetPlug(ug_patch_automator::PN_MIDI_OUT);
    if (automatorOut)
        automatorOut->proxy_ = automationOutput_->GetPlug(ug_patch_automator_out::PN_MIDI_OUT);
    if (ug_patch_param_setter* setter = GetParameterSetter())
        connect(patchAutomator_->GetPlug(ug_patch_automator::PN_HIDDEN_OUT),
                setter->GetPlug(ug_patch_param_setter::PN_MIDI_IN));
}

ug_patch_param_setter* ug_container::GetParameterSetter()
{
    if (!parameterSetter_)
        parameterSetter_ = MakeService<ug_patch_param_setter>(this, L"KV Patch Parameter Setter");
    return parameterSetter_;
}

ug_patch_param_setter* ug_container::GetParameterSetterSecondary()
{
    if (!parameterSetterSecondary_)
        parameterSetterSecondary_ = MakeService<ug_patch_param_setter>(this, L"KV Patch Parameter Setter");
    return parameterSetterSecondary_;
}

ug_patch_param_watcher* ug_container::GetParameterWatcher()
{
    if (!parameterWatcher_)
        parameterWatcher_ = MakeService<ug_patch_param_watcher>(this, L"KV Patch Parameter Watcher");
    return parameterWatcher_;
}

bool ug_container::ConnectHostControl(int hostControl, UPlug* pin)
{
    if (hostControl == HC_VOICE_VIRTUAL_VOICE_ID || hostControl == HC_VOICE_ACTIVE)
    {
        if (!IsPolyphonicContainer() && parentContainer_ && parentContainer_->ConnectHostControl(hostControl, pin))
            return true;
        ConnectVoiceHostControl(hostControl, pin);
        return true;
    }
    if (IDspPatchManager* manager = patchManager_)
    {
        if (manager->ConnectHostControl(hostControl, pin))
            return true;
    }
    return parentContainer_ ? parentContainer_->ConnectHostControl(hostControl, pin) : false;
}

void ug_container::SetupSecondaryPatchParameterSetter()
{
    for (ug_base* module : Modules())
    {
        if (auto* nested = dynamic_cast<ug_container*>(module))
            nested->SetupSecondaryPatchParameterSetter();
    }
    if (!parameterWatcher_ || !parameterSetter_)
        return;
    // Setter outputs met walking upstream from the watcher would close a loop.
    for (UPlug* input : parameterWatcher_->plugs_)
    {
        if (input->direction_ != DR_IN)
            continue;
        for (UPlug* source : input->connections_)
            source->owner_->FlagUpStream(UGF_UPSTREAM_PARAMETER);
    }
    std::vector<UPlug*> moving;
    for (UPlug* output : parameterSetter_->plugs_)
    {
        if (output->direction_ != DR_OUT)
            continue;
        for (UPlug* to : output->connections_)
        {
            if (to->owner_->flags_ & UGF_UPSTREAM_PARAMETER)
            {
                moving.push_back(output);
                break;
            }
        }
    }
    for (UPlug* output : moving)
        parameterSetter_->TransferConnectiontoSecondary(output);
}

void ug_container::OpenPatchManager()
{
    if (patchAutomator_)
    {
        IDspPatchManager* manager = get_patch_manager();
        const int channel = manager ? manager->getMidiChannel() : -1;
        patchAutomator_->setMidiChannel(channel);
        if (automationOutput_)
            automationOutput_->setMidiChannel(channel);
    }
    if (patchManager_)
        patchManager_->InitializeAllParameters();
}

void ug_container::OnUiNotify2(int id, my_input_stream& stream)
{
    if (id == QueMessageId::setp)
    {
        if (patchManager_)
            patchManager_->OnUiMsg(id, stream);
        return;
    }
    if (id == QueMessageId::setc)
    {
        // The manager stores the channel and tells its patch automator.
        if (patchManager_)
            patchManager_->OnUiMsg(id, stream);
        if (automationOutput_ && patchManager_ && !stream.failed())
            automationOutput_->setMidiChannel(patchManager_->getMidiChannel());
        return;
    }
    ug_base::OnUiNotify2(id, stream);
}
