#include "engine/sdkadapter/ug_plugin3Base.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <exception>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/ParameterFieldType.h"
#include "core/parameter_description.h"
#include "core/conversion.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/file_helpers.h"
#include "core/my_streams.h"
#include "engine/events/EventPool.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/IKvShellDsp.h"
#include "engine/sdkadapter/MpPinIterator.h"
#include "engine/sdkadapter/Sdk3CloneIterator.h"
#include "engine/sdkadapter/SdkFaultLog.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"

// An engine event is handed to an SDK module as the SDK's own event record.
static_assert(offsetof(KorvaneEvent, eventType) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, eventType));
static_assert(offsetof(KorvaneEvent, arg1) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, parm1));
static_assert(offsetof(KorvaneEvent, arg2) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, parm2));
static_assert(offsetof(KorvaneEvent, arg3) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, parm3));
static_assert(offsetof(KorvaneEvent, arg4) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, parm4));
static_assert(offsetof(KorvaneEvent, heapData) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, extraData));
static_assert(offsetof(KorvaneEvent, sdkNext) - offsetof(KorvaneEvent, timeDelta) == offsetof(gmpi::MpEvent, next));

namespace
{
constexpr wchar_t kHostId[] = L"Korvane";

gmpi::MpEvent* AsSdkEvent(KorvaneEvent* event)
{
    return reinterpret_cast<gmpi::MpEvent*>(&event->timeDelta);
}

// Copies text into a caller's buffer of maxChars characters, terminated.
void CopyText(const std::wstring& text, int32_t maxChars, wchar_t* destination)
{
    const size_t count = std::min(text.size(), static_cast<size_t>(maxChars - 1));
    std::copy_n(text.data(), count, destination);
    destination[count] = L'\0';
}
} // namespace

int32_t ug_plugin3Base::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    if (iid == gmpi::MP_IID_HOST || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = static_cast<gmpi::IMpHost*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t ug_plugin3Base::verifyPinMatchesXml(int pinId, int direction, int datatype)
{
    const InterfaceObject* description = moduleType ? moduleType->getPinDescriptionById(pinId) : nullptr;
    if (!description || description->GetDirection() != direction || description->GetDatatype() != datatype)
        return gmpi::MP_FAIL;
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::setPin(int32_t blockPosition, int32_t pinId, int32_t size, const void* data)
{
    if (!audioMaster_ || size < 0 || (size > 0 && !data))
        return gmpi::MP_FAIL;
    UPlug* pin = GetPlugById(pinId);
    if (!pin || pin->direction_ != DR_OUT || pin->datatype_ == DT_FSAMPLE)
        return gmpi::MP_FAIL;
    pin->Transmit(audioMaster_->BlockStartClock() + lastBufferPosition_ + blockPosition, size, data);
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::setPinStreaming(int32_t blockPosition, int32_t pinId, int32_t isStreaming)
{
    if (!audioMaster_)
        return gmpi::MP_FAIL;
    UPlug* pin = GetPlugById(pinId);
    if (!pin || pin->direction_ != DR_OUT)
        return gmpi::MP_FAIL;
    pin->TransmitState(sampleClock_ + blockPosition, isStreaming ? ST_STREAMING : ST_STATIC);
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::getBlockSize(int32_t& returnBlockSize)
{
    returnBlockSize = audioMaster_ ? audioMaster_->BlockSize() : 0;
    return audioMaster_ ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t ug_plugin3Base::getSampleRate(float& returnSampleRate)
{
    returnSampleRate = audioMaster_ ? audioMaster_->SampleRate() : 0.0f;
    return audioMaster_ ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t ug_plugin3Base::sleep()
{
    // Before Open the module is not in the block loop: nothing to leave.
    if (!audioMaster_ || (flags_ & UGF_OPEN) == 0)
        return gmpi::MP_FAIL;
    SleepMode();
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::allocateSharedMemory(const wchar_t* tableName, void** returnTablePointer, float sampleRate,
                                             int32_t size, int32_t& returnNeedInitialise)
{
    returnNeedInitialise = 0;
    if (!returnTablePointer)
        return gmpi::MP_FAIL;
    int needsInitialising = 0;
    const int result = ug_base::allocateSharedMemory(tableName, returnTablePointer, sampleRate, size,
                                                     needsInitialising, SLS_PER_INSTANCE);
    returnNeedInitialise = needsInitialising;
    return result == 0 ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t ug_plugin3Base::getHandle(int32_t& returnHandle)
{
    returnHandle = handle_;
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::sendMessageToGui(int32_t id, int32_t size, const void* messageData)
{
    if (size < 0 || size > INT32_MAX - 8 || (size > 0 && !messageData))
        return gmpi::MP_FAIL;
    IKvShellDsp* application = audioMaster_ ? audioMaster_->Application() : nullptr;
    my_output_stream* out = application ? application->MessageQueToGui() : nullptr;
    if (!out)
        return gmpi::MP_FAIL;
    // The record reaches the batch whole or not at all.
    out->BeginRecord();
    *out << static_cast<int32_t>(handle_) << id_to_long("sdk") << static_cast<int32_t>(size + 8) << id << size;
    if (size > 0)
        out->Write(messageData, static_cast<unsigned>(size));
    return out->EndRecord() ? gmpi::MP_OK : gmpi::MP_FAIL;
}

int32_t ug_plugin3Base::getHostId(int32_t maxChars, wchar_t* returnString)
{
    if (!returnString || maxChars <= 0)
        return gmpi::MP_FAIL;
    CopyText(kHostId, maxChars, returnString);
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::getHostVersion(int32_t& returnValue)
{
    returnValue = kHostVersion;
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::createPinIterator(void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = static_cast<gmpi::IMpPinIterator*>(new MpPinIterator(this));
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::isCloned(int32_t* returnValue)
{
    if (!returnValue)
        return gmpi::MP_FAIL;
    *returnValue = (flags_ & UGF_POLYPHONIC) ? 1 : 0;
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::createCloneIterator(void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = static_cast<gmpi::IMpCloneIterator*>(new Sdk3CloneIterator(cloneOf_));
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::resolveFilename(const wchar_t* shortFilename, int32_t maxChars, wchar_t* returnFullFilename)
{
    if (!shortFilename || !returnFullFilename || maxChars <= 0)
        return gmpi::MP_FAIL;
    IKvShellDsp* application = audioMaster_ ? audioMaster_->Application() : nullptr;
    if (!application)
        return gmpi::MP_FAIL;
    const std::wstring name(shortFilename);
    CopyText(application->ResolveFilename(name, GetExtension(name)), maxChars, returnFullFilename);
    return gmpi::MP_OK;
}

int32_t ug_plugin3Base::openProtectedFile(const wchar_t* /*shortFilename*/, gmpi::IProtectedFile** file)
{
    if (file)
        *file = nullptr;
    return gmpi::MP_FAIL;
}

void ug_plugin3Base::Setup(IKvAudioMaster* master, TiXmlElement* element)
{
    ug_base::Setup(master, element);
    CreateOwnParameters();
}

void ug_plugin3Base::CreateOwnParameters()
{
    IDspPatchManager* manager = parentContainer_ ? parentContainer_->get_patch_manager() : nullptr;
    if (!moduleType || !manager)
        return;
    // Pins sharing a parameter id share one parameter.
    std::map<int, dsp_patch_parameter_base*> made;
    for (UPlug* pin : plugs_)
    {
        // Pins the document bound are joined to the setter or watcher already.
        if (!pin->connections_.empty() || (pin->datatype_ == DT_FSAMPLE && pin->direction_ != DR_IN))
            continue;
        InterfaceObject* description = moduleType->getPinDescriptionById(pin->id_);
        if (!description || !description->isParameterPlug() || description->getParameterFieldId() != FT_VALUE)
            continue;
        const parameter_description* parameterDescription =
            moduleType->getParameterById(description->getParameterId());
        if (!parameterDescription)
            continue;
        dsp_patch_parameter_base*& parameter = made[parameterDescription->id];
        if (!parameter)
            parameter = manager->createPatchParameter(parameterDescription, description);
        if (!parameter)
            continue;
        pin->plugFlags_ |= PF_PARAMETER;
        if (pin->direction_ == DR_IN)
        {
            if (ug_patch_param_setter* setter = parentContainer_->GetParameterSetter())
                setter->CreatePlug(parameter->Handle(), pin);
        }
        else if (ug_patch_param_watcher* watcher = parentContainer_->GetParameterWatcher())
        {
            watcher->CreatePlug(parameter->Handle(), pin);
        }
    }
}

ug_base* ug_plugin3Base::Clone(CUGLookupList& /*lookup*/)
{
    // Each voice gets its own SDK object from the module type; should the type
    // fail to make one, the voice runs an empty adapter and stays silent.
    ug_base* clone = moduleType ? moduleType->BuildSynthOb() : nullptr;
    if (!clone)
        clone = Create();
    if (clone)
        SetupClone(clone);
    return clone;
}

void ug_plugin3Base::BuildHelperModule()
{
    UPlug* midiIn = GetPlug(0);
    if ((flags_ & UGF_CLONED) == 0 || !midiIn || midiIn->datatype_ != DT_MIDI2 || !parentContainer_)
        return;
    // Without the redirect type the module takes its MIDI directly.
    Module_Info* type = CModuleFactory::Instance()->GetById(L"KV MIDICVRedirect");
    ug_base* redirect = type ? type->BuildSynthOb() : nullptr;
    if (!redirect)
        return;
    redirect->patchControlContainer_ = patchControlContainer_;
    parentContainer_->AddUG(redirect);
    redirect->SetupWithoutCug();
    if (redirect->plugs_.size() < 3)
        return;
    connect(redirect->plugs_[2], midiIn);
    midiIn->proxy_ = redirect->plugs_[0];
    if (UPlug* second = GetPlug(1))
        second->proxy_ = redirect->plugs_[1];
}

KorvaneEvent* ug_plugin3Base::TakeDueEvents(int64_t end)
{
    KorvaneEvent* first = nullptr;
    KorvaneEvent* last = nullptr;
    while (!EventListEmpty())
    {
        KorvaneEvent* event = eventList_.next;
        if (event->sampleTime >= end)
            break;
        UnlinkEvent(event);

        switch (event->eventType)
        {
        case UET_SUSPEND:
        case UET_UI_NOTIFY:
        case UET_DEACTIVATE_VOICE:
            ug_base::HandleEvent(event);
            break;
        case UET_EVENT_SETPIN:
        case UET_EVENT_STREAMING_START:
        case UET_EVENT_STREAMING_STOP:
        case UET_EVENT_MIDI:
        {
            // The engine addresses pins by position, modules by id.
            const UPlug* pin = GetPlug(event->arg1);
            event->arg1 = pin ? pin->id_ : -1;
            // Payloads of 5 to 8 bytes are also given inline, as modules may read them there.
            if (event->heapData && event->arg2 > 4 && event->arg2 <= 8)
                std::memcpy(&event->arg3, event->heapData, static_cast<size_t>(event->arg2));
            break;
        }
        default:
            break;
        }

        const int64_t offset = event->sampleTime - sampleClock_;
        event->timeDelta = offset > 0 ? static_cast<int32_t>(offset) : 0;
        event->sdkNext = nullptr;
        // `next` links the taken events for freeing; `sdkNext` is the module's list.
        event->next = nullptr;
        if (last)
        {
            last->sdkNext = AsSdkEvent(event);
            last->next = event;
        }
        else
        {
            first = event;
        }
        last = event;
    }
    return first;
}

void ug_plugin3Base::FreeEvents(KorvaneEvent* first)
{
    while (first)
    {
        KorvaneEvent* next = first->next;
        first->next = nullptr;
        first->sdkNext = nullptr;
        EventPool::Free(first);
        first = next;
    }
}

void ug_plugin3Base::CollectAudioPins()
{
    audioPins_.clear();
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ == DT_FSAMPLE)
            audioPins_.push_back(pin);
    }
}

float* ug_plugin3Base::BufferOf(const UPlug* pin, int blockPosition) const
{
    USampBlock* block = pin->GetSampleBlock();
    return block ? block->GetBlock() + blockPosition : nullptr;
}

void ug_plugin3Base::Fault(const char* where, const char* what)
{
    if (faulted_)
        return;
    faulted_ = true;
    for (UPlug* pin : audioPins_)
    {
        if (pin->direction_ != DR_OUT)
            continue;
        if (USampBlock* block = pin->GetSampleBlock())
            block->SetAll(0.0f);
        pin->TransmitState(sampleClock_, ST_STATIC);
    }
    SdkFaultLog::Record(moduleType ? moduleType->UniqueId().c_str() : L"", handle_, where, what);
    if (flags_ & UGF_OPEN)
        SleepMode();
}

void ug_plugin3Base::ProcessFailed()
{
    try
    {
        throw;
    }
    catch (const std::exception& e)
    {
        Fault("process", e.what());
    }
    catch (...)
    {
        Fault("process", "unknown exception");
    }
}

bool ug_plugin3Base::ReadGuiMessage(my_input_stream& stream, int32_t& id, int32_t& size)
{
    stream >> id >> size;
    if (stream.failed() || size < 0 || static_cast<unsigned>(size) > stream.BytesRemaining())
        return false;
    // Within the room kept since Open no allocation happens.
    if (static_cast<size_t>(size) > message_.capacity())
        message_.reserve(static_cast<size_t>(size));
    message_.resize(static_cast<size_t>(size));
    stream.Read(message_.data(), static_cast<unsigned>(size));
    return !stream.failed();
}
