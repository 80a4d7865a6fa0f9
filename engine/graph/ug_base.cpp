#include "engine/graph/ug_base.h"

#include <cstring>

#include "core/MpBlob.h"
#include "core/conversion.h"
#include "core/my_streams.h"
#include "engine/events/EventPool.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_container.h"

static_assert(sizeof(wchar_t) == 4, "text pins carry 4-byte characters");

ug_base::ug_base() : processFunction_(&ug_base::process_nothing), cloneOf_(this)
{
}

ug_base::~ug_base()
{
    for (UPlug* pin : plugs_)
        delete pin;
    plugs_.clear();
}

void ug_base::OnUiMsg(int id, my_input_stream& stream)
{
    if (sleeping_ && (flags_ & UGF_SUSPENDED) == 0)
        Wake();
    OnUiNotify2(id, stream);
}

void ug_base::OnUiNotify(int code, int /*value*/)
{
    if (code == 1)
        SendPendingOutputChanges();
}

void ug_base::OnUiNotify2(int id, my_input_stream& stream)
{
    if (id != id_to_long("noti") || !audioMaster_)
        return;
    int32_t a = 0;
    int32_t b = 0;
    stream >> a >> b;
    if (stream.failed())
        return;
    const int64_t time = audioMaster_->NextGlobalStartClock();
    for (ug_base* module = this; module != nullptr; module = module->nextClone_)
        module->PostEvent(time, UET_UI_NOTIFY, a, b);
}

void ug_base::DoProcessEvents(int blockPosition, int sampleFrames)
{
    const int64_t end = sampleClock_ + sampleFrames;
    int remaining = sampleFrames;

    while (!EventListEmpty())
    {
        // Events due at the end of the piece or later wait for the next call.
        const int64_t due = eventList_.next->sampleTime;
        if (due >= end)
            break;
        // An event already behind the clock is handled at once.
        if (due > sampleClock_)
        {
            const int length = static_cast<int>(due - sampleClock_);
            (this->*processFunction_)(blockPosition, length);
            sampleClock_ += length;
            blockPosition += length;
            remaining -= length;
        }

        // Every input variable due now is updated before any event is handled.
        for (KorvaneEvent* e = eventList_.next; e != &eventList_ && e->sampleTime <= sampleClock_; e = e->next)
        {
            if (e->eventType == UET_EVENT_SETPIN)
                UpdateInputVariable(e);
        }

        // Handlers may post more events for now; they are handled in this step.
        while (!EventListEmpty() && eventList_.next->sampleTime <= sampleClock_)
        {
            KorvaneEvent* e = eventList_.next;
            UnlinkEvent(e);
            HandleEvent(e);
            EventPool::Free(e);
        }
    }

    if (remaining > 0)
        (this->*processFunction_)(blockPosition, remaining);
    sampleClock_ = end;
}

void ug_base::HandleEvent(KorvaneEvent* event)
{
    switch (event->eventType)
    {
    case UET_UI_NOTIFY:
        OnUiNotify(event->arg1, event->arg2);
        break;

    case UET_RUN_DELAYED:
        if (DelayedCall call = DelayedCallOf(event))
            call(this);
        break;

    case UET_EVENT_SETPIN:
    case UET_EVENT_STREAMING_STOP:
        if (UPlug* pin = GetPlug(event->arg1))
        {
            pin->state_ = ST_STATIC;
            onSetPin(event->sampleTime, pin, ST_STATIC);
            pin->state_ = ST_STOPPED;
        }
        break;

    case UET_EVENT_STREAMING_START:
        if (UPlug* pin = GetPlug(event->arg1))
        {
            pin->state_ = ST_STREAMING;
            onSetPin(event->sampleTime, pin, ST_STREAMING);
        }
        break;

    case UET_SUSPEND:
        // From a voice monitor: the voice has gone silent after its release.
        if (parentContainer_)
            parentContainer_->suspendVoice(event->sampleTime, event->arg3);
        break;

    case UET_DEACTIVATE_VOICE:
        if (parentContainer_)
        {
            Voice* voice = parentContainer_->VoiceAt(event->arg3);
            if (voice && !voice->IsHeld() && voice->state_ != VS_OFF)
            {
                parentContainer_->SetVoiceParameters(event->sampleTime, voice, 0.0f, -1);
                voice->SetState(VS_MUTED, event->sampleTime);
            }
        }
        break;

    default:
        break;
    }
}

void ug_base::UpdateInputVariable(const KorvaneEvent* event)
{
    UPlug* pin = GetPlug(event->arg1);
    if (!pin || !pin->variable_)
        return;
    void* variable = pin->variable_;
    const int size = event->arg2 > 0 ? event->arg2 : 0;
    const void* data = event->Data();

    switch (pin->datatype_)
    {
    case DT_ENUM:
        *static_cast<int16_t*>(variable) = static_cast<int16_t>(event->arg3 & 0xFFFF);
        break;
    case DT_TEXT:
    {
        auto* text = static_cast<std::wstring*>(variable);
        size_t count = data ? static_cast<size_t>(size / 4) : 0;
        // Never beyond the room taken at open: growing would allocate here.
        if (count > text->capacity())
        {
            if (audioMaster_)
                audioMaster_->OnTextCut(static_cast<int>(count));
            count = text->capacity();
        }
        text->resize(count);
        if (count)
            std::memcpy(text->data(), data, count * sizeof(wchar_t));
        break;
    }
    case DT_DOUBLE:
        if (data && size >= static_cast<int>(sizeof(double)))
            std::memcpy(variable, data, sizeof(double));
        break;
    case DT_BOOL:
        *static_cast<bool*>(variable) = event->arg3 != 0;
        break;
    case DT_FLOAT:
    case DT_INT:
        std::memcpy(variable, &event->arg3, 4);
        break;
    case DT_BLOB:
    {
        // Never beyond the room taken at open, like a text; a cut blob would
        // be some other value, so the one before stays.
        auto* blob = static_cast<MpBlob*>(variable);
        if (data && size > blob->capacity() && audioMaster_)
        {
            audioMaster_->OnBlobRefused(size);
            break;
        }
        blob->setValueRaw(data ? size : 0, data);
        break;
    }
    default:
        break;
    }
}

void ug_base::SetPinValue(int64_t time, int pinIndex, int datatype, const void* data, int size)
{
    if (datatype != DT_MIDI2 && (flags_ & UGF_SUSPENDED))
        DiscardOldPinEvents(pinIndex);
    PostEventWithData(time, datatype == DT_MIDI2 ? UET_EVENT_MIDI : UET_EVENT_SETPIN, pinIndex, data, size);
}

void ug_base::SendPinsCurrentValue(int64_t time, UPlug* output)
{
    const void* variable = output->variable_;
    if (!variable)
    {
        output->Transmit(time, 0, nullptr);
        return;
    }
    switch (output->datatype_)
    {
    case DT_ENUM:
    {
        const int32_t value = *static_cast<const int16_t*>(variable);
        output->Transmit(time, sizeof(value), &value);
        break;
    }
    case DT_BOOL:
    {
        const int32_t value = *static_cast<const bool*>(variable) ? 1 : 0;
        output->Transmit(time, sizeof(value), &value);
        break;
    }
    case DT_FLOAT:
    case DT_INT:
        output->Transmit(time, 4, variable);
        break;
    case DT_DOUBLE:
        output->Transmit(time, sizeof(double), variable);
        break;
    case DT_TEXT:
    {
        const auto* text = static_cast<const std::wstring*>(variable);
        size_t count = text->size();
        // Every pin would cut it to the room; its payload would leave the event pool.
        if (audioMaster_ && count > static_cast<size_t>(audioMaster_->TextRoom()))
        {
            audioMaster_->OnTextCut(static_cast<int>(count));
            count = static_cast<size_t>(audioMaster_->TextRoom());
        }
        output->Transmit(time, static_cast<int>(count * sizeof(wchar_t)), text->data());
        break;
    }
    case DT_BLOB:
    {
        const auto* blob = static_cast<const MpBlob*>(variable);
        // No pin would take it, and its payload would leave the event pool.
        if (audioMaster_ && blob->getSize() > audioMaster_->BlobRoom())
        {
            audioMaster_->OnBlobRefused(blob->getSize());
            break;
        }
        output->Transmit(time, blob->getSize(), blob->getData());
        break;
    }
    default:
        output->Transmit(time, 0, nullptr);
        break;
    }
}

void ug_base::SendPendingOutputChanges()
{
    for (UPlug* pin : plugs_)
    {
        if (pin->direction_ != DR_OUT || (pin->plugFlags_ & PF_VALUE_PENDING) == 0)
            continue;
        if (pin->datatype_ == DT_FSAMPLE)
            pin->TransmitState(sampleClock_, ST_STATIC);
        else
            SendPinsCurrentValue(sampleClock_, pin);
        pin->plugFlags_ &= ~PF_VALUE_PENDING;
    }
}

void ug_base::ResetStaticOutput()
{
    staticOutputCountdown_ = audioMaster_ ? audioMaster_->BlockSize() : 0;
}

void ug_base::SleepMode()
{
    if (sleeping_)
        return;
    if (EventListEmpty())
    {
        if (audioMaster_)
            audioMaster_->SuspendModule(this);
        sleeping_ = 1;
    }
    // Only events after this piece are left (a delayed call, say): the module
    // leaves the list until the piece in which the first of them falls due.
    else if (audioMaster_ && (flags_ & UGF_SUSPENDED) == 0 &&
             FirstEvent()->sampleTime >= audioMaster_->NextGlobalStartClock() &&
             audioMaster_->SleepUntil(this, FirstEvent()->sampleTime))
    {
        sleeping_ = 1;
    }
}

void ug_base::process_sleep(int /*blockPosition*/, int /*sampleFrames*/)
{
    SleepMode();
}

void ug_base::Suspend()
{
    if (flags_ & UGF_NEVER_SUSPEND)
        return;
    if (audioMaster_)
        audioMaster_->SuspendModule(this);
    flags_ |= UGF_SUSPENDED;
}

void ug_base::Resume(int64_t /*time*/)
{
    if ((flags_ & UGF_SUSPENDED) == 0)
        return;
    flags_ &= ~UGF_SUSPENDED;
    if (sleeping_)
    {
        if (!EventListEmpty())
            Wake();
    }
    else if (audioMaster_)
    {
        audioMaster_->InsertBlockDev(this);
    }
    if (staticOutputCountdown_ >= 1)
        ResetStaticOutput();
}

int ug_base::Open()
{
    if (!audioMaster_)
        return -1;
    staticOutputCountdown_ = audioMaster_->BlockSize();
    GiveUnfedAudioInputsABlock();
    audioMaster_->InsertBlockDev(this);
    for (UPlug* pin : plugs_)
    {
        // Text values arrive and are copied on the audio thread: the room
        // taken now keeps them from allocating there.
        if (pin->datatype_ == DT_TEXT && pin->variable_)
            static_cast<std::wstring*>(pin->variable_)->reserve(static_cast<size_t>(audioMaster_->TextRoom()));
        if (pin->datatype_ == DT_BLOB && pin->variable_)
            static_cast<MpBlob*>(pin->variable_)->reserve(audioMaster_->BlobRoom());
        if (pin->moduleBuffer_)
        {
            USampBlock* block = pin->GetSampleBlock();
            *pin->moduleBuffer_ = block ? block->GetBlock() : nullptr;
        }
    }
    flags_ |= UGF_OPEN;
    PostEvent(0, UET_GRAPH_START);
    return 0;
}

void ug_base::GiveUnfedAudioInputsABlock()
{
    // Process functions read their audio pins without checks: every audio pin
    // must have a block. An output gets its own; an input reads its source's,
    // or, with no source at all, a silent block of its own.
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ != DT_FSAMPLE || pin->GetSampleBlock())
            continue;
        if (pin->direction_ == DR_OUT)
        {
            pin->CreateBuffer();
            continue;
        }
        pin->CreateBuffer();
        USampBlock* source = pin->connections_.empty() ? nullptr : pin->connections_.front()->GetSampleBlock();
        if (source)
        {
            *static_cast<USampBlock**>(pin->variable_) = source;
        }
        else if (pin->variable_ == &pin->storage_.pointer)
        {
            pin->storage_.pointer = new USampBlock(audioMaster_->BlockSize());
            pin->plugFlags_ |= PF_OWNS_STORAGE;
        }
    }
}

int ug_base::Close()
{
    flags_ &= ~UGF_OPEN;
    return 0;
}

bool ug_base::PPGetActiveFlag()
{
    for (const UPlug* pin : plugs_)
    {
        if (pin->direction_ == DR_IN && (pin->plugFlags_ & PF_PP_ACTIVE) && (pin->plugFlags_ & PF_PP_DOWNSTREAM))
            return true;
    }
    return false;
}

void ug_base::SetPPVoiceNumber(int voice)
{
    flags_ |= UGF_POLYPHONIC;
    voiceNumber_ = voice;
}

void ug_base::SetupDynamicPlugs()
{
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ == DT_FSAMPLE)
            pin->CreateBuffer();
    }
}

UPlug* ug_base::GetPlugById(int id)
{
    for (UPlug* pin : plugs_)
    {
        if (pin->id_ == id)
            return pin;
    }
    return nullptr;
}

void ug_base::AddPlug(UPlug* pin)
{
    const int position = static_cast<int>(plugs_.size());
    if (pin->id_ == -1)
        pin->id_ = position;
    pin->index_ = position;
    plugs_.push_back(pin);
}

void ug_base::SetPolyphonic(bool polyphonic)
{
    if (polyphonic)
        flags_ |= UGF_POLYPHONIC;
    else
        flags_ &= ~UGF_POLYPHONIC;
}
