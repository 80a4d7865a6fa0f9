#include "engine/ug_oversampler.h"

#include <algorithm>
#include <cstdlib>

#include "engine/EventPool.h"
#include "engine/ug_container.h"
#include "engine/ug_oversampler_fir.h"
#include "engine/ug_oversampler_in.h"
#include "engine/ug_oversampler_out.h"

ug_oversampler::ug_oversampler() : AudioMasterBase(44100.0f)
{
    flags_ |= UGF_NEVER_SUSPEND;
    SetProcessFunction(&ug_base::process_nothing);
}

ug_oversampler::~ug_oversampler()
{
    delete child_;
}

void ug_oversampler::Setup1(ug_container* child, int factor, int filter)
{
    factor_ = std::clamp(std::abs(factor), 1, kMaxFactor);
    // Clamped first: a setting from the document may be any integer.
    filter = std::clamp(filter, 0, OversamplerFir::kMaxTaps);
    filter_ = filter > 10 && factor_ > 3 ? filter * 2 : filter;
    child_ = child;
    sampleRate_ = SampleRate();
    SetBlockSize(BlockSize());

    child->audioMaster_ = this;
    out_ = new ug_oversampler_out(this, factor_, filter_);
    in_ = new ug_oversampler_in(this, factor_, filter_);
    child->AddUG(out_);
    out_->SetupWithoutCug();
    child->AddUG(in_);
    in_->SetupWithoutCug();

    // Every pin of the child gets a relayed copy here and a border pin inside;
    // lines drawn to the child's pin later land on the copy.
    const std::vector<UPlug*> pins = child->plugs_;
    for (UPlug* pin : pins)
    {
        auto* outer = new UPlug(this, pin);
        outer->CreateBuffer();
        AddPlug(outer);
        UPlug* border = nullptr;
        if (pin->direction_ == DR_IN)
        {
            border = in_->AddBorderPin(outer, DR_OUT);
            ug_base::connect(border, pin);
        }
        else
        {
            border = out_->AddBorderPin(outer, DR_IN);
            ug_base::connect(pin, border);
        }
        pin->proxy_ = outer;
        borderPins_.push_back(border);
    }
}

void ug_oversampler::Setup2(bool first)
{
    if (!child_)
        return;
    std::vector<ug_base*> modules;
    child_->ExportUgs(modules);
    for (ug_base* module : modules)
        module->audioMaster_ = this;

    // The child has no parent container: this re-routes its tied pins through
    // the border modules, sorts it and makes its voices.
    child_->PostBuildStuff(first);

    modules.clear();
    child_->ExportUgs(modules);
    for (ug_base* module : modules)
        module->audioMaster_ = this;
    // Re-routing pointed the child's pins inside; outer lines still come here.
    for (size_t i = 0; i < child_->plugs_.size() && i < plugs_.size(); ++i)
        child_->plugs_[i]->proxy_ = plugs_[i];
}

void ug_oversampler::RelayOutGoingEvent(UPlug* outerPin, const KorvaneEvent* event)
{
    const int64_t time = std::max((event->sampleTime - timeOffset_) / factor_, OuterClock());
    outerPin->Transmit(time, std::max(event->arg2, 0), event->Data());
}

int ug_oversampler::Open()
{
    if (!Outer() || !child_)
        return -1;
    sampleRate_ = SampleRate();
    SetBlockSize(BlockSize());
    ResetBlockLoop();
    child_->Open();
    return ug_base::Open();
}

int ug_oversampler::Close()
{
    if (child_ && (child_->flags_ & UGF_OPEN))
        child_->Close();
    return ug_base::Close();
}

void ug_oversampler::FixTimeOffset()
{
    timeOffset_ = AudioMasterBase::sampleClock_ - static_cast<int64_t>(factor_) * OuterClock();
}

void ug_oversampler::AnnounceAudioOutputs(int64_t time)
{
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ == DT_FSAMPLE && pin->direction_ == DR_OUT)
            pin->TransmitState(time, ST_STREAMING);
    }
}

void ug_oversampler::TakeEvents(int64_t end)
{
    while (!EventListEmpty() && FirstEvent()->sampleTime < end)
    {
        KorvaneEvent* e = FirstEvent();
        UnlinkEvent(e);
        const int64_t time = std::max(e->sampleTime, OuterClock());
        switch (e->eventType)
        {
        case UET_EVENT_SETPIN:
        case UET_EVENT_MIDI:
        {
            // Audio state changes stay outside: the border keeps streaming.
            const int index = e->arg1;
            UPlug* border = index >= 0 && index < static_cast<int>(borderPins_.size()) ? borderPins_[index] : nullptr;
            if (!border || border->owner_ != in_)
                break;
            KorvaneEvent* relayed = EventPool::New(GetEventPool(), time * factor_ + timeOffset_,
                                                   ug_oversampler_in::kRelayedEvent, border->index_);
            if (!relayed)
                break;
            relayed->arg4 = e->eventType;
            if (EventPool::AttachPayload(relayed, e->Data(), std::max(e->arg2, 0)))
                in_->AddEvent(relayed);
            else
                EventPool::Free(relayed);
            break;
        }
        case UET_GRAPH_START:
            AnnounceAudioOutputs(time);
            break;
        case UET_UI_NOTIFY:
            OnUiNotify(e->arg1, e->arg2);
            break;
        case UET_RUN_DELAYED:
            if (DelayedCall call = DelayedCallOf(e))
                call(this);
            break;
        default:
            break;
        }
        EventPool::Free(e);
    }
}

void ug_oversampler::DoProcess(int blockPosition, int sampleFrames)
{
    FixTimeOffset();
    TakeEvents(OuterClock() + sampleFrames);
    in_->BeginOuterPiece(blockPosition);
    out_->BeginOuterPiece(blockPosition);
    DoProcessVST(factor_ * sampleFrames);
    ug_base::sampleClock_ += sampleFrames;
}

void ug_oversampler::Wake()
{
    ug_base::Wake();
}

void ug_oversampler::SetPPVoiceNumber(int voice)
{
    ug_base::SetPPVoiceNumber(voice);
    if (child_)
        child_->SetPPVoiceNumber(voice);
}

float ug_oversampler::SampleRate()
{
    return Outer() ? Outer()->SampleRate() * static_cast<float>(factor_) : sampleRate_;
}

int ug_oversampler::BlockSize()
{
    return Outer() ? Outer()->BlockSize() : blockSize_;
}

void ug_oversampler::RegisterDspMsgHandle(dsp_msg_target* object, int handle)
{
    if (Outer())
        Outer()->RegisterDspMsgHandle(object, handle);
}

void ug_oversampler::AssignTemporaryHandle(dsp_msg_target* object)
{
    if (Outer())
        Outer()->AssignTemporaryHandle(object);
}

dsp_msg_target* ug_oversampler::HandleToObject(int handle)
{
    return Outer() ? Outer()->HandleToObject(handle) : nullptr;
}

IKvShellDsp* ug_oversampler::Application()
{
    return Outer() ? Outer()->Application() : nullptr;
}

void ug_oversampler::ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate,
                                          unsigned long size, bool integer, bool create, SharedLookupScope scope)
{
    if (Outer())
        Outer()->ugCreateSharedLookup(name, table, sampleRate, size, integer, create, scope);
    else
        AudioMasterBase::ugCreateSharedLookup(name, table, sampleRate, size, integer, create, scope);
}

my_VstTimeInfo* ug_oversampler::hostGetTime(int flags)
{
    return Outer() ? Outer()->hostGetTime(flags) : nullptr;
}

void ug_oversampler::RegisterPatchAutomator(ug_patch_automator* automator)
{
    if (Outer())
        Outer()->RegisterPatchAutomator(automator);
}

int64_t ug_oversampler::CalculateOversampledTimestamp(ug_container* top, int64_t time)
{
    const int64_t inner = time * factor_ + timeOffset_;
    return parentContainer_ ? parentContainer_->CalculateOversampledTimestamp(top, inner) : inner;
}

int ug_oversampler::CallVstHost(int opcode, int index, int value, void* ptr, float opt)
{
    return Outer() ? Outer()->CallVstHost(opcode, index, value, ptr, opt) : -1;
}

void ug_oversampler::MasterReset()
{
    if (Outer())
        Outer()->MasterReset();
}

void ug_oversampler::onFadeOutComplete()
{
    if (Outer())
        Outer()->onFadeOutComplete();
}

EventPool* ug_oversampler::GetEventPool()
{
    return Outer() ? Outer()->GetEventPool() : AudioMasterBase::GetEventPool();
}
