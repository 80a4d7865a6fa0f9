// The type-independent behaviour of patch parameters: reading the document,
// storage, and values to the pins, to the voices and to the MIDI automation
// output. The records exchanged with the editor are in
// dsp_patch_parameter_messages.cpp.
#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "core/ExactXmlText.h"
#include "core/HostControls.h"
#include "core/ModuleXml.h"
#include "core/conversion.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/IKvShellDsp.h"
#include "core/midi_defs.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/UPlug.h"
#include "engine/parameters/dsp_patch_parameter.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_midi_automator.h"

namespace
{
constexpr int kMaxIndex = 9999;
constexpr int kFloatTypeId = 22;
constexpr int kIntTypeId = 24;

void SendToAudioOutput(UPlug* pin, int dataType, int64_t time, const void* data, int size)
{
    // An audio input reads a block, not an event value: the setter that owns
    // the output writes the value, in volts, into the output's block.
    if (!pin->owner_ || !data || size != 4)
        return;
    float volts = 0.0f;
    if (dataType == kFloatTypeId)
        std::memcpy(&volts, data, sizeof(volts));
    else if (dataType == kIntTypeId)
    {
        int32_t whole = 0;
        std::memcpy(&whole, data, sizeof(whole));
        volts = static_cast<float>(whole);
    }
    else
        return;
    pin->owner_->SetPinValue(time, pin->index_, DT_FSAMPLE, &volts, sizeof(volts));
}

bool FeedsVoice(const UPlug* output, int voice)
{
    for (const UPlug* to : output->connections_)
    {
        const ug_base* module = to->owner_;
        if ((module->flags_ & ug_base::UGF_POLYPHONIC) && module->voiceNumber_ == voice)
            return true;
    }
    return false;
}

int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    int value = fallback;
    if (element->QueryIntAttribute(name, &value) != TIXML_SUCCESS)
        value = fallback;
    return value;
}

ug_patch_automator_out* AutomationOutputOf(IDspPatchManager* manager)
{
    ug_container* container = manager ? manager->Container() : nullptr;
    return container ? container->AutomationOutput() : nullptr;
}
} // namespace

IKvAudioMaster* dsp_patch_parameter_base::AudioMaster() const
{
    ug_container* container = patchManager_ ? patchManager_->Container() : nullptr;
    return container ? container->audioMaster_ : nullptr;
}

std::vector<PatchStorageBase*> dsp_patch_parameter_base::ReleaseValues()
{
    std::vector<PatchStorageBase*> values;
    values.swap(storage_);
    return values;
}

bool dsp_patch_parameter_base::ExchangeValues(std::vector<PatchStorageBase*>& values)
{
    if (values.size() != storage_.size())
        return false;
    for (size_t key = 0; key < values.size(); ++key)
    {
        const PatchStorageBase* given = values[key];
        const PatchStorageBase* own = storage_[key];
        if (!given || !own || typeid(*given) != typeid(*own) || given->getPatchCount() != own->getPatchCount() ||
            given->RoomBytes() != own->RoomBytes() ||
            (!typeIsVariableSize() && given->GetValueSize(0) != own->GetValueSize(0)))
            return false;
    }
    values.swap(storage_);
    return true;
}

PatchStorageBase* dsp_patch_parameter_base::SwapStorage(PatchStorageBase* with)
{
    if (storage_.empty())
        return nullptr;
    PatchStorageBase* old = storage_.front();
    storage_.front() = with;
    return old;
}

int dsp_patch_parameter_base::PatchCount() const
{
    return storage_.empty() ? 0 : storage_.front()->getPatchCount();
}

int dsp_patch_parameter_base::EffectivePatch() const
{
    if (PatchCount() <= 1 || !patchManager_)
        return 0;
    const int program = patchManager_->getProgram();
    // A program beyond the stored patches reads patch 0 rather than nothing.
    return program >= 0 && program < PatchCount() ? program : 0;
}

bool dsp_patch_parameter_base::isTiming() const
{
    return automation_ >= 0x08000000 && automation_ <= 0x0A000000;
}

bool dsp_patch_parameter_base::SetValueRaw2(const void* data, int size, int patch, int key)
{
    PatchStorageBase* entry = Storage(key);
    if (!entry || size < 0)
        return false;
    // A fixed-size value is copied whole: shorter data would be read past its end.
    if (!typeIsVariableSize() && size < typeSize())
        return false;
    const bool changed = entry->SetValue(data, static_cast<size_t>(size), patch);
    ReportCut(*entry);
    return changed;
}

void dsp_patch_parameter_base::ReportCut(PatchStorageBase& entry)
{
    if (const size_t cut = entry.TakeCutLength())
    {
        if (IKvAudioMaster* master = AudioMaster())
        {
            if (dataType() == kBlobDataType)
                master->OnBlobRefused(static_cast<int>(cut));
            else
                master->OnTextCut(static_cast<int>(cut / sizeof(wchar_t)));
        }
    }
}

void dsp_patch_parameter_base::ReserveValueRoom(IKvAudioMaster& master)
{
    automationSysex_.reserve(static_cast<size_t>(master.TextRoom()));
    const bool text = dataType() == kTextDataType;
    const bool blob = dataType() == kBlobDataType;
    if (!text && !blob)
        return;
    const size_t unit = text ? sizeof(wchar_t) : 1;
    size_t room = text ? static_cast<size_t>(master.TextRoom()) * sizeof(wchar_t) : static_cast<size_t>(master.BlobRoom());
    // Every key of a polyphonic parameter keeps its value in every patch:
    // the rooms of one parameter share a bound, so that 128 keys of 128
    // patches do not take tens of megabytes.
    const size_t values = storage_.size() * static_cast<size_t>(std::max(PatchCount(), 1));
    room = std::min(room, kRoomBudget / values / unit * unit);
    for (PatchStorageBase* entry : storage_)
        entry->ReserveRoom(room, unit, blob);
}

size_t dsp_patch_parameter_base::ValueRoom() const
{
    const PatchStorageBase* entry = Storage(0);
    return entry ? entry->RoomBytes() : 0;
}

bool dsp_patch_parameter_base::ApplyPreparedValue(std::vector<uint8_t>& bytes)
{
    PatchStorageBase* entry = Storage(0);
    if (!entry)
        return false;
    const int patch = EffectivePatch();
    if (typeIsVariableSize())
        return entry->TakeValue(bytes, patch);
    unsigned char value[16] = {};
    const int size = typeSize();
    if (size <= 0 || size > static_cast<int>(sizeof(value)) || bytes.size() < static_cast<size_t>(size))
        return false;
    std::memcpy(value, bytes.data(), static_cast<size_t>(size));
    if (!ConformValue(value, size))
        return false;
    return entry->SetValue(value, static_cast<size_t>(size), patch);
}

const void* dsp_patch_parameter_base::SerialiseForEvent(int key, int& size) const
{
    const PatchStorageBase* entry = Storage(key);
    if (!entry)
    {
        size = 0;
        return nullptr;
    }
    const int patch = EffectivePatch();
    size = entry->GetValueSize(patch);
    return entry->GetValue(patch);
}

void dsp_patch_parameter_base::setAutomation(int code)
{
    automation_ = code;
    if (patchManager_)
        patchManager_->vst_setAutomationId(this, code);
}

void dsp_patch_parameter_base::RegisterHandle(int handle)
{
    if (IKvAudioMaster* master = AudioMaster())
        master->RegisterDspMsgHandle(this, handle);
    else
        handle_ = handle;
}

void dsp_patch_parameter_base::ConnectPin2(UPlug* plug)
{
    if (plug && plug->direction_ == DR_OUT)
        connectedPins_.push_back(plug);
}

void dsp_patch_parameter_base::createPatchMemory(int patchCount, int voiceCount)
{
    patchCount = std::clamp(patchCount, 1, kMaxPatchCount);
    voiceCount = std::clamp(voiceCount, 1, kKeyCount);
    for (PatchStorageBase* entry : storage_)
        delete entry;
    storage_.clear();
    lastMidiValues_.fill(kNoMidiValue);
    for (int k = 0; k < voiceCount; ++k)
    {
        if (typeIsVariableSize())
            storage_.push_back(new PatchStorageVariableSize(patchCount));
        else
            storage_.push_back(new PatchStorageFixedSize(patchCount, typeSize()));
    }
}

void dsp_patch_parameter_base::InitializeCommon(TiXmlElement* element)
{
    if (!element)
        return;
    index_ = IntAttribute(element, "Index", -1);
    if (index_ < 0 || index_ > kMaxIndex)
        index_ = -1;
    double range = 0.0;
    if (XmlNumberAttribute(*element, "RangeMinimum", range))
        setMetadataRangeMinimum(range);
    if (XmlNumberAttribute(*element, "RangeMaximum", range))
        setMetadataRangeMaximum(range);
    if (const char* meta = element->Attribute("MetaData"))
        setMetadataTextMetadata(Utf8ToWstring(meta));

    containerHandle_ = IntAttribute(element, "ContainerHandle", -1);
    int handle = -1;
    if (element->QueryIntAttribute("Handle", &handle) == TIXML_SUCCESS)
        RegisterHandle(handle);
    else if (IKvAudioMaster* master = AudioMaster())
        master->AssignTemporaryHandle(this); // no handle of the document's to clash with
    polyphonic_ = IntAttribute(element, "isPolyphonic", 0) != 0;
    polyphonicGate_ = IntAttribute(element, "isPolyphonicGate", 0) != 0;
    sdk2BackwardCompatibility_ = IntAttribute(element, "Sdk2BackwardCompatibility", 0) != 0;
    hostControl_ = IntAttribute(element, "HostControl", -1);
    const int voiceCount = IntAttribute(element, "VoiceCount", 1);
    const int patchCount = IntAttribute(element, "PatchCount", kDefaultPatchCount);
    const char* sysex = element->Attribute("Automation_sysex");
    automationSysex_ = sysex ? Utf8ToWstring(sysex) : std::wstring();
    const char* shared = element->Attribute("sharedParameterId");
    sharedParameterId_ = shared ? shared : "";
    setAutomation(IntAttribute(element, "Automation", -1));

    createPatchMemory(patchCount, voiceCount);

    TiXmlElement* child = element->FirstChildElement();
    if (!child)
    {
        InitializePatchMemory(L"");
        return;
    }
    std::vector<std::string> items;
    // Keys and patches the document gives beyond the storage are ignored.
    for (int key = 0; child && key < VoiceEntryCount(); child = child->NextSiblingElement(), ++key)
    {
        items.clear();
        XmlSplitString(ExactXmlText(child).c_str(), items);
        const int count = std::min(static_cast<int>(items.size()), PatchCount());
        for (int patch = 0; patch < count; ++patch)
            SetValueFromXml(items[static_cast<size_t>(patch)], key, patch);
    }
}

void dsp_patch_parameter_base::SendValue(int64_t time, int key)
{
    IVoiceControl* voices = container_;
    if (polyphonic_)
    {
        if (key < 0 || key >= kKeyCount)
            return;
        const int voice = voices ? voices->GetVoice(key) : -1;
        if (polyphonicGate_)
        {
            int size = 0;
            const void* data = SerialiseForEvent(key, size);
            float gate = 0.0f;
            if (data && size >= static_cast<int>(sizeof(float)))
                std::memcpy(&gate, data, sizeof(float));
            if (gate > 0.0f)
            {
                if (voices)
                    voices->VoiceAllocationNoteOn(time, key, -1);
                return;
            }
            if (voices)
                voices->VoiceAllocationNoteOff(time, key);
            // Released under the hold pedal: the voice keeps its gate up
            // until the pedal lifts (VoiceList::setHold).
            if (voices && voice >= 0 && voices->IsVoiceSustained(voice))
                return;
            // A mono voice that went back to a key still held plays that key
            // now: it gets that key's gate, which is up, not the released one.
            if (voices && voice >= 0)
            {
                const int playing = voices->KeyOfVoice(voice);
                if (playing >= 0 && playing < kKeyCount)
                    key = playing;
            }
        }
        SendValuePt2(time, voice, key);
        return;
    }
    int voice = -1;
    if (automation_ >= 0 && ControllerType::isPolyphonic(automation_ >> 24) && patchManager_)
    {
        if (IVoiceControl* owner = patchManager_->Container())
            voice = owner->GetVoice(automation_ & 0x7F);
    }
    SendValuePt2(time, voice, automation_ & 0x7F);
}

void dsp_patch_parameter_base::SendValuePt2(int64_t time, int voice, int key)
{
    if (voice < 0)
        key = 0;
    if (!Storage(key))
        key = 0;
    int size = 0;
    const void* data = SerialiseForEvent(key, size);
    SendData(time, voice, key, data, size);
}

void dsp_patch_parameter_base::SendGateOff(int64_t time, int voice)
{
    // Four zero bytes are 0 as a float and as an int alike.
    const int32_t off = 0;
    int size = 0;
    SerialiseForEvent(0, size);
    if (polyphonic_ && voice >= 0 && size == static_cast<int>(sizeof(off)))
        SendData(time, voice, 0, &off, sizeof(off));
}

void dsp_patch_parameter_base::SendData(int64_t time, int voice, int key, const void* data, int size)
{
    if (container_ && AffectsVoiceAllocation(static_cast<HostControls>(hostControl_)))
        static_cast<IVoiceControl*>(container_)->OnVoiceControlChanged(time, hostControl_, size, data, key);

    // A text or blob kept whole beyond the room (from a saved state) would
    // need a payload beyond the event pool's: a text reaches the pins cut to
    // the room, as they would cut it; a blob does not reach them, as they
    // would refuse it.
    IKvAudioMaster* master = connectedPins_.empty() ? nullptr : AudioMaster();
    if (master && dataType() == kTextDataType && size > master->TextRoom() * static_cast<int>(sizeof(wchar_t)))
    {
        master->OnTextCut(size / static_cast<int>(sizeof(wchar_t)));
        size = master->TextRoom() * static_cast<int>(sizeof(wchar_t));
    }
    if (master && dataType() == kBlobDataType && size > master->BlobRoom())
    {
        master->OnBlobRefused(size);
        return;
    }

    ug_container* owner = patchManager_ ? patchManager_->Container() : nullptr;
    for (UPlug* pin : connectedPins_)
    {
        int64_t t = time;
        if (owner && pin->owner_ && pin->owner_->parentContainer_)
            t = pin->owner_->parentContainer_->CalculateOversampledTimestamp(owner, time);
        if ((pin->plugFlags_ & kPlugDelayedOneBlock) && pin->owner_ && pin->owner_->audioMaster_)
            t += pin->owner_->audioMaster_->BlockSize();
        if (!polyphonic_ && pin->datatype_ == DT_FSAMPLE)
            SendToAudioOutput(pin, dataType(), t, data, size);
        else if (!polyphonic_)
            pin->Transmit(t, size, data);
        else if (voice >= 0 && pin->datatype_ == DT_FSAMPLE)
        {
            // Each voice reads its own setter output: write the one it reads.
            if (FeedsVoice(pin, voice))
                SendToAudioOutput(pin, dataType(), t, data, size);
        }
        else if (voice >= 0)
            pin->TransmitPolyphonic(t, voice, size, data);
    }
}

void dsp_patch_parameter_base::outputMidiAutomation(bool programChange, int key)
{
    ug_patch_automator_out* out = AutomationOutputOf(patchManager_);
    if (!out || typeIsVariableSize())
        return;
    const int slot = polyphonic_ ? std::clamp(key, 0, kKeyCount - 1) : 0;
    const int midiKey = polyphonic_ ? slot : (automation_ & 0x7F);
    out->SendAutomation2(GetValueNormalised(slot), midiKey, automation_, automationSysex_.c_str(), programChange,
                         &lastMidiValues_[static_cast<size_t>(slot)]);
}

void dsp_patch_parameter_base::OnValueChangedFromGUI(bool programChange, int key, bool initialUpdate, int64_t time)
{
    IKvAudioMaster* master = AudioMaster();
    const int64_t next = std::max<int64_t>(master ? master->NextGlobalStartClock() : 0, time);
    SendValue(next, key);
    outputMidiAutomation(programChange, key);

    switch (hostControl_)
    {
    case HC_POLYPHONY:
    case HC_RESERVE_VOICES:
    case HC_OVERSAMPLING_RATE:
    case HC_OVERSAMPLING_FILTER:
        if (!initialUpdate && master)
            master->MasterReset();
        break;
    case HC_VOICE_ALLOCATION_MODE:
    {
        int size = 0;
        const void* data = SerialiseForEvent(0, size);
        int32_t mode = 0;
        if (data && size >= 4)
            std::memcpy(&mode, data, 4);
        ug_container* owner = patchManager_ ? patchManager_->Container() : nullptr;
        // A mono mode releases every key.
        if ((mode & 0xFC) && owner)
            static_cast<IVoiceControl*>(owner)->NoteOff(next, -1);
        break;
    }
    default:
        break;
    }
}

void dsp_patch_parameter_base::vst_automate2(int64_t time, int key, const void* data, int size, bool updateGui)
{
    const int slot = polyphonic_ ? key : 0;
    if (!SetValueRaw2(data, size, EffectivePatch(), slot))
        return;
    SendValue(time, key);
    // updateGui: a MIDI controller moved it, not the host.
    if (updateGui)
    {
        MarkOwnMove(slot);
        // A host parameter reaches the host with the block that moved it.
        if (index_ >= 0 && !moduleOwned_ && !polyphonic_)
            if (IKvAudioMaster* master = AudioMaster(); master && master->Application())
                master->Application()->ReportAtBlockEnd();
    }
    else if (slot == 0)
    {
        // The host's own value: what the engine moved before it is gone.
        ownMovePending_ = false;
    }
    if (ug_patch_automator_out* out = AutomationOutputOf(patchManager_))
    {
        if (slot >= 0 && slot < kKeyCount)
            out->SendAutomation2(GetValueNormalised(slot), key, automation_, automationSysex_.c_str(), false,
                                 &lastMidiValues_[static_cast<size_t>(slot)]);
    }
}

void dsp_patch_parameter_base::UpdateOutputParameter(int key, UPlug* plug)
{
    const int slot = polyphonic_ ? key : 0;
    if (!Storage(slot))
        return;
    CopyPlugValue(slot, plug);
    MarkOwnMove(slot);
    if (!typeIsVariableSize())
    {
        if (ug_patch_automator_out* out = AutomationOutputOf(patchManager_))
            out->SendAutomation2(GetValueNormalised(slot), polyphonic_ ? slot : (automation_ & 0x7F), automation_,
                                 automationSysex_.c_str(), false, &lastMidiValues_[static_cast<size_t>(slot)]);
    }
}

void dsp_patch_parameter_base::CarryVoiceValues(int oldPatch, int newPatch)
{
    // What the host's notes set per key (gate, pitch, velocity...) is the
    // state of the voices that sound, not part of a program: the new
    // program's keys take it, so that a key held across the change is
    // released by its note-off, which would otherwise find its gate already
    // at 0 and change nothing.
    if (hostControl_ == -1 || typeIsVariableSize())
        return;
    for (PatchStorageBase* key : storage_)
    {
        if (key == nullptr || oldPatch < 0 || oldPatch >= key->getPatchCount() || newPatch < 0 ||
            newPatch >= key->getPatchCount())
            continue;
        const int size = key->GetValueSize(oldPatch);
        if (const void* value = key->GetValue(oldPatch); value != nullptr && size > 0)
            key->SetValue(value, static_cast<size_t>(size), newPatch);
    }
}

void dsp_patch_parameter_base::OnPatchChanged(int oldPatch, int newPatch, int64_t time, bool ownChoice)
{
    PatchStorageBase* entry = Storage(0);
    if (!entry || entry->getPatchCount() <= 1)
        return;
    if (polyphonic_)
    {
        CarryVoiceValues(oldPatch, newPatch);
        return;
    }
    const int oldSize = entry->GetValueSize(oldPatch);
    const int newSize = entry->GetValueSize(newPatch);
    const void* oldData = entry->GetValue(oldPatch);
    const void* newData = entry->GetValue(newPatch);
    bool differ = oldSize != newSize || (oldData == nullptr) != (newData == nullptr);
    if (!differ && oldData && newData && newSize > 0)
        differ = std::memcmp(oldData, newData, static_cast<size_t>(newSize)) != 0;
    // A value of another program still waiting to be reported would be read
    // as the current one (readers take the last value of key 0): it stays
    // unsent, also when the new program's value is the same.
    for (int patch = 0; patch < entry->getPatchCount(); ++patch)
        if (patch != newPatch)
            entry->setDirty(patch, false);
    if (!differ)
        return;
    OnValueChangedFromGUI(true, 0, false, time);
    // The editor shows the new program's value, and the host when the patch
    // chose the program itself.
    if (ownChoice)
        MarkOwnMove(0);
    else
    {
        ownMovePending_ = false;
        MarkEngineChange(0);
    }
}

