#include "engine/parameters/ug_patch_param_setter.h"

#include <algorithm>
#include <cstring>

#include "core/CModuleFactory.h"
#include "core/HostControls.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/events/KorvaneEvent.h"
#include "engine/graph/USampBlock.h"
#include "engine/parameters/dsp_patch_parameter.h"
#include "engine/graph/ug_container.h"

namespace
{
// A setter output that carries one value per voice.
constexpr uint32_t kPolyphonicSourcePin = 0x1000;
} // namespace

ug_patch_param_setter::ug_patch_param_setter()
{
    flags_ |= UGF_NEVER_SUSPEND | UGF_PARAMETER_SETTER;
    SetProcessFunction(&ug_base::process_sleep);
}

void ug_patch_param_setter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&midiOutValue_, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
}

int ug_patch_param_setter::Open()
{
    const int result = ug_base::Open();
    SendPendingOutputChanges();
    return result;
}

void ug_patch_param_setter::HandleEvent(KorvaneEvent* event)
{
    UPlug* pin = event->eventType == UET_EVENT_SETPIN ? GetPlug(event->arg1) : nullptr;
    if (!pin || pin->direction_ != DR_OUT || pin->datatype_ != DT_FSAMPLE)
    {
        ug_base::HandleEvent(event);
        return;
    }
    USampBlock* block = pin->GetSampleBlock();
    if (!block || !audioMaster_ || event->arg2 != static_cast<int>(sizeof(float)))
        return;
    float volts = 0.0f;
    std::memcpy(&volts, &event->arg3, sizeof(volts));
    // Volts to sample value, as for a pin's default.
    const float value = volts * 0.1f;
    const int blockSize = audioMaster_->BlockSize();
    float* samples = block->GetBlock();
    for (int i = std::clamp(BlockPos(), 0, blockSize); i < blockSize; ++i)
        samples[i] = value;
    pin->TransmitState(sampleClock_, ST_STATIC);
    ResetStaticOutput();
    SetProcessFunction(&ug_patch_param_setter::process_audio_runout);
}

void ug_patch_param_setter::process_audio_runout(int start, int count)
{
    const int blockSize = audioMaster_ ? audioMaster_->BlockSize() : 0;
    for (size_t i = kFixedPinCount; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        USampBlock* block = pin->datatype_ == DT_FSAMPLE ? pin->GetSampleBlock() : nullptr;
        if (!block || blockSize <= 0)
            continue;
        // The last sample always holds the newest value.
        float* samples = block->GetBlock();
        std::fill(samples + start, samples + start + count, samples[blockSize - 1]);
    }
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

bool ug_patch_param_setter::Register(int id, UPlug* output)
{
    ug_container* container = parentContainer_;
    if (!container)
        return false;
    if (output->plugFlags_ & PF_HOST_CONTROLLED)
    {
        container->ConnectHostControl(id, output);
        return HostControlisPolyphonic(static_cast<HostControls>(id));
    }
    IDspPatchManager* manager = container->get_patch_manager();
    const dsp_patch_parameter_base* parameter = manager ? manager->ConnectParameter(id, output) : nullptr;
    return parameter && parameter->isPolyphonic();
}

void ug_patch_param_setter::CreatePlug(int id, UPlug* modulePin)
{
    if (!modulePin)
        return;
    const bool hostControlled = (modulePin->plugFlags_ & PF_HOST_CONTROLLED) != 0;
    if (hostControlled)
    {
        if (id == HC_SNAP_MODULATION)
        {
            snapshotClients_.push_back(modulePin);
            return;
        }
        // One output serves every pin of one host control.
        for (size_t i = 0; i < parameterIds_.size(); ++i)
        {
            UPlug* output = GetPlug(static_cast<int>(i) + kFixedPinCount);
            if (output && parameterIds_[i] == id && (output->plugFlags_ & PF_HOST_CONTROLLED) &&
                output->datatype_ == modulePin->datatype_)
            {
                connect(output, modulePin);
                return;
            }
        }
    }
    auto* output = new UPlug(this, DR_OUT, static_cast<EPlugDataType>(modulePin->datatype_));
    output->plugFlags_ |= (modulePin->plugFlags_ & (PF_PARAMETER | PF_HOST_CONTROLLED)) | PF_VALUE_PENDING;
    AddPlug(output);
    output->id_ = output->index_;
    output->CreateBuffer();
    parameterIds_.push_back(id);
    const bool perVoice = Register(id, output);
    // A per-voice value makes the pin's module run per voice.
    if (perVoice && modulePin->direction_ == DR_IN && modulePin->datatype_ != DT_MIDI2 &&
        !(hostControlled && id == HC_VOICE_ACTIVE))
    {
        output->plugFlags_ |= kPolyphonicSourcePin;
        if (output->datatype_ == DT_FSAMPLE)
            output->plugFlags_ |= PF_PER_VOICE_BLOCK;
    }
    connect(output, modulePin);
}

UPlug* ug_patch_param_setter::VoiceOutputFor(UPlug* output)
{
    const auto it = std::find(plugs_.begin(), plugs_.end(), output);
    if (it == plugs_.end() || static_cast<size_t>(it - plugs_.begin()) < kFixedPinCount)
        return output;
    const int id = parameterIds_[static_cast<size_t>(it - plugs_.begin()) - kFixedPinCount];
    auto* voiceOutput = new UPlug(this, DR_OUT, DT_FSAMPLE);
    voiceOutput->plugFlags_ |= output->plugFlags_ & ~PF_OWNS_STORAGE;
    AddPlug(voiceOutput);
    voiceOutput->id_ = voiceOutput->index_;
    voiceOutput->CreateBuffer();
    parameterIds_.push_back(id);
    Register(id, voiceOutput);
    return voiceOutput;
}

void ug_patch_param_setter::setPolyPin(int64_t time, int outputIndex, int voiceId, int datatype, int size,
                                       const void* data)
{
    UPlug* output = GetPlug(outputIndex);
    if (!output)
        return;
    for (UPlug* to : output->connections_)
    {
        ug_base* module = to->owner_;
        if ((module->flags_ & UGF_POLYPHONIC) && module->voiceNumber_ == voiceId)
            module->SetPinValue(time, to->index_, datatype, data, size);
    }
}

ug_base* ug_patch_param_setter::Clone(CUGLookupList& lookup)
{
    auto* clone = static_cast<ug_patch_param_setter*>(ug_base::Clone(lookup));
    if (!clone)
        return nullptr;
    clone->parameterIds_ = parameterIds_;
    for (size_t i = 0; i < parameterIds_.size(); ++i)
    {
        if (UPlug* output = clone->GetPlug(static_cast<int>(i) + kFixedPinCount))
            clone->Register(parameterIds_[i], output);
    }
    return clone;
}

void ug_patch_param_setter::Renumber()
{
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        plugs_[i]->index_ = static_cast<int32_t>(i);
        plugs_[i]->id_ = static_cast<int32_t>(i);
    }
}

void ug_patch_param_setter::AdoptOutput(int id, UPlug* output)
{
    output->owner_ = this;
    plugs_.push_back(output);
    parameterIds_.push_back(id);
    Renumber();
}

bool ug_patch_param_setter::TransferConnectiontoSecondary(UPlug* output)
{
    const auto it = std::find(plugs_.begin() + std::min<size_t>(kFixedPinCount, plugs_.size()), plugs_.end(), output);
    ug_container* container = parentContainer_;
    if (it == plugs_.end() || !container)
    {
        Renumber();
        return false;
    }
    ug_patch_param_setter* secondary = container->GetParameterSetterSecondary();
    if (!secondary || secondary == this)
        return false;
    const auto position = static_cast<size_t>(it - plugs_.begin()) - kFixedPinCount;
    const int id = parameterIds_[position];
    parameterIds_.erase(parameterIds_.begin() + static_cast<std::ptrdiff_t>(position));
    plugs_.erase(it);
    output->plugFlags_ |= kPlugDelayedOneBlock;
    secondary->AdoptOutput(id, output);
    Renumber();
    return true;
}

void ug_patch_param_setter::HookupSnapshotClients(ug_container* container)
{
    if (snapshotClients_.empty() || !container)
        return;
    ug_base* manager = nullptr;
    for (ug_base* module : container->Modules())
    {
        if (module->moduleType && module->moduleType->UniqueId() == L"BL SnapshotManager")
        {
            manager = module;
            break;
        }
    }
    UPlug* source = manager ? manager->GetPlug(1) : nullptr;
    if (!source || source->direction_ != DR_OUT)
        return;
    manager->FlagUpStream(UGF_SNAPSHOT_UPSTREAM);
    ug_base* delay = nullptr;
    for (UPlug* client : snapshotClients_)
    {
        if ((client->owner_->flags_ & UGF_SNAPSHOT_UPSTREAM) == 0)
        {
            connect(source, client);
            continue;
        }
        // A client that feeds the manager is fed through a delay, not in a loop.
        if (!delay)
        {
            Module_Info* type = CModuleFactory::Instance()->GetById(L"KV Feedback Delay - Int");
            delay = type ? type->BuildSynthOb() : nullptr;
            if (!delay)
                return;
            container->AddUG(delay);
            delay->SetupWithoutCug();
            delay->BuildHelperModule();
            connect(source, delay->GetPlug(0));
        }
        connect(delay->GetPlug(1), client);
    }
}
