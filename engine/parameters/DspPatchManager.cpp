#include "engine/parameters/DspPatchManager.h"

#include <algorithm>
#include <cstring>

#include "core/PersistanceFactory.h"
#include "core/QueMessage.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/midi_defs.h"
#include "core/parameter_description.h"
#include "core/my_streams.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/IKvShellDsp.h"
#include "engine/parameters/dsp_patch_parameter.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/ug_patch_automator.h"

namespace
{
int Kind(int code)
{
    return static_cast<int>(static_cast<uint32_t>(code) >> 24);
}
} // namespace

DspPatchManager::DspPatchManager(ug_container* container)
    : container_(container), dataEntryValues_(kDataEntrySlots, 0)
{
}

DspPatchManager::~DspPatchManager()
{
    for (dsp_patch_parameter_base* parameter : parameters_)
        delete parameter;
}

int DspPatchManager::ContainerHandleOf(ug_container* container) const
{
    return container ? container->handle_ : -1;
}

IVoiceControl* DspPatchManager::VoicesOf(ug_container* container) const
{
    return container;
}

int DspPatchManager::PatchCount() const
{
    return parameters_.empty() ? 1 : std::max(1, parameters_.front()->PatchCount());
}

void DspPatchManager::AddParam(dsp_patch_parameter_base* parameter)
{
    if (!parameter)
        return;
    parameter->setPatchManager(this);
    parameters_.push_back(parameter);
    automationMap_.reserve(parameters_.size());
}

dsp_patch_parameter_base* DspPatchManager::createPatchParameter(int persistenceId)
{
    RegisterPatchParameterClasses();
    dsp_patch_parameter_base* parameter = PersistanceFactory::Instance()->CreateObject(persistenceId);
    AddParam(parameter);
    return parameter;
}

dsp_patch_parameter_base* DspPatchManager::createPatchParameter(const parameter_description* description,
                                                                InterfaceObject* pin)
{
    if (!description)
        return nullptr;
    RegisterPatchParameterClasses();
    const int id = PatchParameterIdForDatatype(description->datatype);
    dsp_patch_parameter_base* parameter = PersistanceFactory::Instance()->CreateObject(id);
    if (!parameter)
        return nullptr;
    AddParam(parameter);
    if (IKvAudioMaster* master = container_ ? container_->audioMaster_ : nullptr)
        master->AssignTemporaryHandle(parameter);
    parameter->setUpFromDsp(description, pin);
    if (IKvAudioMaster* master = container_ ? container_->audioMaster_ : nullptr)
        parameter->ReserveValueRoom(*master);
    return parameter;
}

dsp_patch_parameter_base* DspPatchManager::GetParameter(int handle)
{
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        if (parameter->Handle() == handle)
            return parameter;
    }
    return nullptr;
}

dsp_patch_parameter_base* DspPatchManager::GetParameter(ug_container* container, int hostControl)
{
    const int handle = ContainerHandleOf(container);
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        if (parameter->getHostControl() == hostControl &&
            (parameter->getContainerHandle() == handle || parameter->getContainerHandle() == -1))
            return parameter;
    }
    return nullptr;
}

dsp_patch_parameter_base* DspPatchManager::ConnectHostControl(int hostControl, UPlug* plug)
{
    ug_container* container = plug && plug->owner_ ? plug->owner_->parentContainer_ : nullptr;
    dsp_patch_parameter_base* parameter = GetParameter(container, hostControl);
    if (parameter)
        parameter->ConnectPin2(plug);
    return parameter;
}

dsp_patch_parameter_base* DspPatchManager::ConnectParameter(int handle, UPlug* plug)
{
    dsp_patch_parameter_base* parameter = GetParameter(handle);
    if (parameter)
        parameter->ConnectPin2(plug);
    return parameter;
}

void DspPatchManager::setupContainerHandles(ug_container* container)
{
    if (!container)
        return;
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        if (parameter->getContainerHandle() == container->handle_)
            parameter->setContainer(container);
    }
}

void DspPatchManager::InitializeAllParameters()
{
    indexTable_.clear();
    polyphonicParameters_.clear();
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        const int index = parameter->getIndex();
        if (index >= 0 && index <= kMaxIndex)
        {
            if (static_cast<int>(indexTable_.size()) <= index)
                indexTable_.resize(static_cast<size_t>(index) + 1, nullptr);
            indexTable_[static_cast<size_t>(index)] = parameter;
        }
    }
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        if (parameter->isPolyphonic())
        {
            polyphonicParameters_.push_back(parameter);
            continue;
        }
        if (parameter->isTiming() && container_)
        {
            if (ug_patch_automator* automator = container_->PatchAutomator())
                automator->setTempoTransmit();
        }
        parameter->SendValuePt2(0, -1, 0);
    }
}

void DspPatchManager::SendInitialUpdates()
{
    if (container_)
    {
        if (ug_patch_automator_out* out = container_->AutomationOutput())
            out->sendProgramChange(program_);
        VoicesOf(container_)->SendProgChange(program_);
    }
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        if (!parameter->isPolyphonic())
            parameter->OnValueChangedFromGUI(true, 0, true);
    }
}

float DspPatchManager::InitializeVoiceParameters(ug_container* container, int64_t time, int voice, int key,
                                                 bool retrigger)
{
    const int handle = ContainerHandleOf(container);
    float pitch = 0.0f;
    if (key < 0 || key >= kKeyCount)
        return pitch;
    for (dsp_patch_parameter_base* parameter : polyphonicParameters_)
    {
        if (parameter->getContainerHandle() != handle)
            continue;
        const int code = parameter->getAutomation();
        if (code == 0x18000000)
        {
            if (!retrigger)
                continue;
            ++triggerCounter_;
            parameter->SetValueRaw2(&triggerCounter_, 4, parameter->EffectivePatch(), key);
        }
        if (code == 0x13000000)
        {
            int size = 0;
            const void* data = parameter->SerialiseForEvent(key, size);
            if (data && size >= 4)
                std::memcpy(&pitch, data, 4);
        }
        parameter->SendValuePt2(time, voice, key);
    }
    return pitch;
}

void DspPatchManager::ReleaseVoiceGate(ug_container* container, int64_t time, int voice)
{
    const int handle = ContainerHandleOf(container);
    for (dsp_patch_parameter_base* parameter : polyphonicParameters_)
    {
        if (parameter->getContainerHandle() == handle && parameter->isPolyphonicGate())
            parameter->SendGateOff(time, voice);
    }
}

void DspPatchManager::vst_setAutomationId(dsp_patch_parameter_base* parameter, int code)
{
    automationMap_.erase(std::remove_if(automationMap_.begin(), automationMap_.end(),
                                        [parameter](const AutomationEntry& entry) { return entry.second == parameter; }),
                         automationMap_.end());
    if (learnParameter_ == parameter)
        learnParameter_ = nullptr;
    if (code == -2)
    {
        learnParameter_ = parameter;
        return;
    }
    if (code < 0 || !parameter)
        return;
    if (parameter->isPolyphonic())
        code = static_cast<int32_t>(static_cast<uint32_t>(code) & 0xFFFF0000u);
    const auto after = std::upper_bound(automationMap_.begin(), automationMap_.end(), code,
                                        [](int32_t c, const AutomationEntry& entry) { return c < entry.first; });
    automationMap_.insert(after, AutomationEntry(code, parameter));
}

std::pair<std::vector<DspPatchManager::AutomationEntry>::const_iterator,
          std::vector<DspPatchManager::AutomationEntry>::const_iterator>
DspPatchManager::AutomationRange(int32_t code) const
{
    struct ByCode
    {
        bool operator()(const AutomationEntry& entry, int32_t c) const { return entry.first < c; }
        bool operator()(int32_t c, const AutomationEntry& entry) const { return c < entry.first; }
    };
    return std::equal_range(automationMap_.begin(), automationMap_.end(), code, ByCode{});
}

void DspPatchManager::vst_Automation(ug_container* container, int64_t time, int code, float value)
{
    const int kind = Kind(code);
    if (kind != ControllerType::TransportPlaying && learnParameter_)
    {
        dsp_patch_parameter_base* learned = learnParameter_;
        learned->setAutomation(code);
        SendToEditor(learned->Handle(), QueMessageId::lern, code);
    }
    const int handle = ContainerHandleOf(container);
    const bool polyphonicKind = ControllerType::isPolyphonic(kind);
    if (polyphonicKind)
    {
        const auto range = AutomationRange(static_cast<int32_t>(static_cast<uint32_t>(code) & 0xFFFF0000u));
        for (auto it = range.first; it != range.second; ++it)
        {
            if (it->second->isPolyphonic() && it->second->getContainerHandle() == handle)
                it->second->vst_automate(time, code & 0x7F, value, true);
        }
    }
    const auto range = AutomationRange(code);
    for (auto it = range.first; it != range.second; ++it)
    {
        dsp_patch_parameter_base* parameter = it->second;
        if (parameter->isPolyphonic())
            continue;
        if (parameter->getContainerHandle() == handle || parameter->getContainerHandle() == -1)
            parameter->vst_automate(time, polyphonicKind ? (code & 0x7F) : 0, value, true);
    }
}

void DspPatchManager::vst_Automation2(int64_t time, int code, const void* data, int size)
{
    const auto range = AutomationRange(code);
    for (auto it = range.first; it != range.second; ++it)
        it->second->vst_automate2(time, 0, data, size, true);
}

void DspPatchManager::setParameterNormalized(int64_t time, int index, double value)
{
    if (index < 0 || index >= static_cast<int>(indexTable_.size()))
        return;
    if (dsp_patch_parameter_base* parameter = indexTable_[static_cast<size_t>(index)])
        parameter->vst_automate(time, 0, value, false);
}

void DspPatchManager::ChangeProgram(int program, int64_t time)
{
    const int old = program_;
    RefreshProgramFromStore(program);
    setProgram(program);
    if (store_ && store_->Open())
    {
        store_->ProgramFromEngine(program, midiChoice_);
        heardProgram_ = program;
    }
    if (container_)
    {
        if (ug_patch_automator_out* out = container_->AutomationOutput())
            out->sendProgramChange(program);
        VoicesOf(container_)->SendProgChange(program);
    }
    for (dsp_patch_parameter_base* parameter : parameters_)
        parameter->OnPatchChanged(old, program, time, midiChoice_);
    // The values the change moved reach the host with the block it came in.
    if (IKvShellDsp* shell = Shell())
        shell->ServiceAtBlockEnd();
}

void DspPatchManager::setProgramDspThread(int program, int64_t time)
{
    // A program the patch does not store is refused; the editor still hears
    // which program is current.
    if (program >= 0 && program < PatchCount() && program != program_)
        ChangeProgram(program, time);
    else if (program == program_ && store_ && store_->Open() && store_->Program() != program)
    {
        // The store chose another one that the engine has not played yet:
        // this newer choice of the one it plays takes its place.
        store_->ProgramFromEngine(program, midiChoice_);
        heardProgram_ = program;
    }
    SendToEditor(ContainerHandleOf(container_), QueMessageId::pat2, program_);
}

IKvShellDsp* DspPatchManager::Shell() const
{
    IKvAudioMaster* master = container_ ? container_->audioMaster_ : nullptr;
    return master ? master->Application() : nullptr;
}

void DspPatchManager::OnUiMsg(int id, my_input_stream& stream)
{
    int32_t value = 0;
    switch (id)
    {
    case QueMessageId::setc:
        stream >> value;
        if (stream.failed())
            return;
        midiChannel_ = value;
        if (ug_patch_automator* automator = container_ ? container_->PatchAutomator() : nullptr)
            automator->setMidiChannel(value);
        break;
    case QueMessageId::setp:
        stream >> value;
        if (stream.failed() || value == program_ || value < 0 || value >= PatchCount())
            return;
        ChangeProgram(value, -1);
        break;
    default:
        break;
    }
}

void DspPatchManager::SendToEditor(int handle, int32_t id, int32_t value)
{
    IKvShellDsp* shell = Shell();
    if (my_output_stream* out = shell ? shell->MessageQueToGui() : nullptr)
        WriteQueMessage(*out, handle, id, &value, static_cast<int32_t>(sizeof(value)));
}

void DspPatchManager::OnKeyTuningChanged(int64_t time, int key, int /*tune*/)
{
    vst_Automation(tuningContainer_, time, 0x13000000 + key, KeyPitch(key));
}
