#include "engine/graph/UPlug.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "core/InterfaceObject.h"
#include "core/MpBlob.h"
#include "core/MyTypeTraits.h"
#include "core/conversion.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_base.h"
#include "engine/graph/ug_container.h"

namespace
{
// Proxy and source chains are short; a longer walk means a cycle.
constexpr int kMaxWalk = 64;
} // namespace

UPlug::UPlug(ug_base* owner, const InterfaceObject& description)
    : owner_(owner),
      variable_(description.GetVarAddr()),
      moduleBuffer_(description.GetBufferAddress()),
      direction_(description.GetDirection()),
      datatype_(description.GetDatatype()),
      id_(description.getPlugDescID())
{
    const uint32_t flags = description.GetFlags();
    if (flags & IO_UI_DUAL_FLAG)
        direction_ = direction_ == DR_IN ? DR_OUT : DR_IN;
    if (description.GetPPActiveFlag())
        plugFlags_ |= PF_PP_ACTIVE;
    if (flags & IO_ADDER)
        plugFlags_ |= PF_ADDER;
    if (flags & (IO_PATCH_STORE | IO_UI_DUAL_FLAG))
        plugFlags_ |= PF_PARAMETER;
    if (flags & IO_HOST_CONTROL)
        plugFlags_ |= PF_HOST_CONTROLLED;
    if (flags & IO_PLUG_SPECIAL)
        plugFlags_ |= PF_SPECIAL;
}

UPlug::UPlug(ug_base* owner, EDirection direction, EPlugDataType datatype)
    : owner_(owner), direction_(direction), datatype_(datatype)
{
}

UPlug::UPlug(ug_base* owner, const UPlug* model)
    : owner_(owner),
      direction_(model->direction_),
      datatype_(model->datatype_),
      plugFlags_(model->plugFlags_ & ~PF_OWNS_STORAGE),
      id_(model->id_)
{
}

UPlug::~UPlug()
{
    DeleteConnectors();
    DestroyBuffer();
}

void UPlug::CreateBuffer()
{
    switch (datatype_)
    {
    case DT_ENUM:
    case DT_BOOL:
    case DT_FLOAT:
    case DT_INT:
        if (!variable_)
            variable_ = &storage_;
        break;
    case DT_TEXT:
        if (!variable_)
        {
            storage_.pointer = variable_ = new std::wstring();
            plugFlags_ |= PF_OWNS_STORAGE;
        }
        break;
    case DT_DOUBLE:
        if (!variable_)
        {
            storage_.pointer = variable_ = new double(0.0);
            plugFlags_ |= PF_OWNS_STORAGE;
        }
        break;
    case DT_BLOB:
        if (!variable_)
        {
            storage_.pointer = variable_ = new MpBlob();
            plugFlags_ |= PF_OWNS_STORAGE;
        }
        break;
    case DT_MIDI2:
        if (direction_ == DR_OUT && !variable_)
        {
            storage_.pointer = variable_ = new int64_t(0);
            plugFlags_ |= PF_OWNS_STORAGE;
        }
        break;
    case DT_FSAMPLE:
        if (direction_ == DR_OUT)
        {
            if (!owner_ || !owner_->audioMaster_)
                break;
            DestroyBuffer();
            storage_.pointer = variable_ = new USampBlock(owner_->audioMaster_->BlockSize());
            plugFlags_ |= PF_OWNS_STORAGE;
        }
        else if (!variable_)
        {
            variable_ = &storage_.pointer;
        }
        break;
    default:
        break;
    }
}

void UPlug::DestroyBuffer()
{
    if ((plugFlags_ & PF_OWNS_STORAGE) == 0)
        return;
    void* owned = storage_.pointer;
    switch (datatype_)
    {
    case DT_TEXT:
        delete static_cast<std::wstring*>(owned);
        break;
    case DT_DOUBLE:
        delete static_cast<double*>(owned);
        break;
    case DT_BLOB:
        delete static_cast<MpBlob*>(owned);
        break;
    case DT_MIDI2:
        delete static_cast<int64_t*>(owned);
        break;
    case DT_FSAMPLE:
        delete static_cast<USampBlock*>(owned);
        break;
    default:
        break;
    }
    if (variable_ == owned)
        variable_ = nullptr;
    storage_.pointer = nullptr;
    plugFlags_ &= ~PF_OWNS_STORAGE;
}

USampBlock* UPlug::GetSampleBlock() const
{
    if (datatype_ != DT_FSAMPLE || !variable_)
        return nullptr;
    if (direction_ == DR_OUT)
        return static_cast<USampBlock*>(variable_);
    return *static_cast<USampBlock**>(variable_);
}

float UPlug::getValue() const
{
    const USampBlock* block = GetSampleBlock();
    if (!block || !owner_)
        return 0.0f;
    const int position = std::clamp(owner_->BlockPos(), 0, std::max(0, block->GetSize() - 1));
    return block->GetBlock()[position];
}

void UPlug::Transmit(int64_t time, int size, const void* data)
{
    for (UPlug* to : connections_)
        to->owner_->SetPinValue(time, to->index_, datatype_, data, size);
}

namespace
{
// The voice a connection serves in TransmitPolyphonic's sense; -1 for a
// module that is not a voice copy.
int VoiceOfConnection(const UPlug* to)
{
    const ug_base* module = to->owner_;
    return (module->flags_ & ug_base::UGF_POLYPHONIC) ? module->voiceNumber_ : -1;
}
} // namespace

void UPlug::TransmitPolyphonic(int64_t time, int voice, int size, const void* data)
{
    // A pin feeding every voice copy has them in voice order as the copies
    // were made: a note reaches its voice without a look at the other copies.
    if (connectionsByVoice_ < 0)
    {
        connectionsByVoice_ = 1;
        for (size_t i = 1; i < connections_.size(); ++i)
        {
            if (VoiceOfConnection(connections_[i - 1]) > VoiceOfConnection(connections_[i]))
            {
                connectionsByVoice_ = 0;
                break;
            }
        }
    }
    auto it = connections_.begin();
    if (connectionsByVoice_)
    {
        it = std::lower_bound(connections_.begin(), connections_.end(), voice,
                              [](const UPlug* to, int v) { return VoiceOfConnection(to) < v; });
    }
    for (; it != connections_.end(); ++it)
    {
        UPlug* to = *it;
        ug_base* module = to->owner_;
        if ((module->flags_ & ug_base::UGF_POLYPHONIC) && module->voiceNumber_ == voice)
            module->SetPinValue(time, to->index_, datatype_, data, size);
        else if (connectionsByVoice_ && VoiceOfConnection(to) > voice)
            break;
    }
}

void UPlug::TransmitState(int64_t time, state_type state)
{
    if (state != ST_STATIC && state == state_)
        return;
    // One static announcement per sample time.
    if (state == ST_STATIC && state_ != ST_STREAMING && stateTime_ == time)
        return;

    state_ = state;
    const int32_t eventType = state == ST_STREAMING ? UET_EVENT_STREAMING_START : UET_EVENT_STREAMING_STOP;
    for (UPlug* to : connections_)
    {
        ug_base* module = to->owner_;
        if (module->flags_ & ug_base::UGF_SUSPENDED)
            module->DiscardOldPinEvents(to->index_);
        module->PostEvent(time, eventType, to->index_);
    }

    if (state == ST_STATIC)
    {
        stateTime_ = time;
        state_ = ST_STOPPED;
    }
    else
    {
        stateTime_ = 0;
    }
}

void UPlug::SetDefault(const char* text)
{
    if (datatype_ == DT_MIDI2)
        return;

    UPlug* pin = this;
    for (int step = 0;; ++step)
    {
        if (step == kMaxWalk || (pin->plugFlags_ & PF_HOST_CONTROLLED))
            return;
        if (pin->direction_ == DR_OUT)
        {
            pin->SetBufferValue(text);
            pin->plugFlags_ |= PF_VALUE_PENDING;
            return;
        }
        UPlug* next = nullptr;
        if (pin->tiedTo_ && pin->tiedTo_->proxy_)
            next = pin->tiedTo_->proxy_;
        else if (!pin->connections_.empty())
            next = pin->connections_.front();
        if (!next)
            break;
        if (next->datatype_ == DT_MIDI2)
            return;
        pin = next;
    }

    // An input with no source: an output of the container's default setter
    // carries its default. Outside a container it stays unfed.
    ug_container* container = pin->owner_ ? pin->owner_->parentContainer_ : nullptr;
    ug_base* setter = container ? container->GetDefaultSetter() : nullptr;
    if (!setter)
        return;
    auto* output = new UPlug(setter, DR_OUT, static_cast<EPlugDataType>(pin->datatype_));
    output->plugFlags_ |= pin->plugFlags_ & PF_PARAMETER;
    output->CreateBuffer();
    setter->AddPlug(output);
    output->SetBufferValue(text);
    output->plugFlags_ |= PF_VALUE_PENDING;
    ug_base::connect(output, pin);
    if (pin->tiedTo_)
        pin->tiedTo_->proxy_ = output;
}

void UPlug::ReRoute()
{
    UPlug* tied = tiedTo_;
    if (!tied)
        return;
    // A snapshot: joining may add links to this very pin through proxies.
    const std::vector<UPlug*> partners = connections_;
    for (auto it = partners.rbegin(); it != partners.rend(); ++it)
    {
        UPlug* partner = *it;
        DeleteConnection(partner);
        // Copy: joining may change the tied pin's list.
        const std::vector<UPlug*> farSide = tied->connections_;
        for (UPlug* other : farSide)
        {
            if (direction_ == DR_OUT)
                ug_base::connect(other, partner);
            else
                ug_base::connect(partner, other);
        }
        // Later lines to the tied pin land where the signal now goes.
        if (direction_ == DR_OUT)
            tied->proxy_ = partner;
    }
    tied->DeleteConnectors();
}

namespace
{
// Calls `use` with the pin variable as a pointer to its value type; audio and
// types without a variable are left to the caller.
template <class Use>
void WithTypedVariable(int datatype, void* variable, Use use)
{
    switch (datatype)
    {
    case DT_ENUM:
        use(static_cast<int16_t*>(variable));
        break;
    case DT_TEXT:
        use(static_cast<std::wstring*>(variable));
        break;
    case DT_DOUBLE:
        use(static_cast<double*>(variable));
        break;
    case DT_BOOL:
        use(static_cast<bool*>(variable));
        break;
    case DT_FLOAT:
        use(static_cast<float*>(variable));
        break;
    case DT_INT:
        use(static_cast<int32_t*>(variable));
        break;
    default:
        break;
    }
}
} // namespace

void UPlug::SetBufferValue(const char* text)
{
    if (!variable_)
        return;
    if (datatype_ == DT_FSAMPLE)
    {
        if (USampBlock* block = GetSampleBlock())
            block->SetAll(static_cast<float>(StringToDouble(text) / 10.0));
        return;
    }
    WithTypedVariable(datatype_, variable_, [text](auto* value) {
        MyTypeTraits<std::remove_pointer_t<decltype(value)>>::parse(text, *value);
    });
}

void UPlug::CloneBufferValue(const UPlug& other)
{
    if (!variable_ || !other.variable_ || other.datatype_ != datatype_)
        return;
    if (datatype_ == DT_FSAMPLE)
    {
        USampBlock* mine = GetSampleBlock();
        const USampBlock* theirs = other.GetSampleBlock();
        if (mine && theirs)
            mine->SetAll(theirs->GetBlock()[0]);
        return;
    }
    const void* source = other.variable_;
    WithTypedVariable(datatype_, variable_, [source](auto* value) {
        *value = *static_cast<const std::remove_pointer_t<decltype(value)>*>(source);
    });
}

void UPlug::DisConnect(UPlug* other)
{
    auto it = std::find(connections_.begin(), connections_.end(), other);
    if (it == connections_.end())
        return;
    connections_.erase(it);
    connectionsByVoice_ = -1;
    // An input no longer reads the block of an output it has left.
    if (datatype_ == DT_FSAMPLE && direction_ == DR_IN && (plugFlags_ & PF_OWNS_STORAGE) == 0 && variable_ &&
        *static_cast<USampBlock**>(variable_) == other->GetSampleBlock())
    {
        *static_cast<USampBlock**>(variable_) = nullptr;
    }
}

void UPlug::DeleteConnection(UPlug* other)
{
    DisConnect(other);
    other->DisConnect(this);
}

void UPlug::DeleteConnectors()
{
    std::vector<UPlug*> joined;
    joined.swap(connections_);
    for (UPlug* other : joined)
        other->DisConnect(this);
}
