#include "engine/oversampling/ug_oversampler.h"

#include <algorithm>
#include <cstdlib>

#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/events/EventPool.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler_fir.h"
#include "engine/oversampling/ug_oversampler_in.h"
#include "engine/oversampling/ug_oversampler_out.h"

namespace
{
int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
} // namespace

ug_oversampler::ug_oversampler() : AudioMasterBase(44100.0f)
{
    SetProcessFunction(&ug_base::process_nothing);
}

ug_oversampler::~ug_oversampler()
{
    delete child_;
}

void ug_oversampler::Setup1(ug_container* child, int factor, int filter)
{
    up_ = factor >= 1;
    factor_ = std::clamp(std::abs(factor), 1, kMaxFactor);
    // Clamped first: a setting from the document may be any integer.
    filter = std::clamp(filter, 0, OversamplerFir::kMaxTaps);
    filter_ = filter > 10 && factor_ > 3 ? filter * 2 : filter;
    child_ = child;
    sampleRate_ = SampleRate();
    SetBlockSize(BlockSize());
    child->audioMaster_ = this;

    // Every pin of the child gets a relayed copy here and a border pin inside;
    // lines drawn to the child's pin later land on the copy.
    const std::vector<UPlug*> pins = child->plugs_;
    for (UPlug* pin : pins)
    {
        auto* outer = new UPlug(this, pin);
        outer->CreateBuffer();
        AddPlug(outer);
    }
    MakeBorderModules();
    for (size_t i = 0; i < pins.size(); ++i)
    {
        UPlug* pin = pins[i];
        if (pin->direction_ == DR_IN)
            ug_base::connect(borderPins_[i], pin);
        else
            ug_base::connect(pin, borderPins_[i]);
        pin->proxy_ = plugs_[i];
    }
}

void ug_oversampler::MakeBorderModules()
{
    out_ = new ug_oversampler_out(this, factor_, filter_, up_);
    in_ = new ug_oversampler_in(this, factor_, filter_, up_);
    child_->AddUG(out_);
    out_->SetupWithoutCug();
    child_->AddUG(in_);
    in_->SetupWithoutCug();
    borderPins_.clear();
    for (UPlug* outer : plugs_)
    {
        if (outer->direction_ == DR_IN)
            borderPins_.push_back(in_->AddBorderPin(outer, DR_OUT));
        else
            borderPins_.push_back(out_->AddBorderPin(outer, DR_IN));
    }
}

void ug_oversampler::CreatePatchManagerProxy()
{
    if (child_ && !child_->has_own_patch_manager())
        child_->setPatchManager(new DspPatchManagerProxy(child_, this));
}

void ug_oversampler::SetChildMaster()
{
    std::vector<ug_base*> modules;
    child_->ExportUgs(modules);
    for (ug_base* module : modules)
        module->audioMaster_ = this;
}

void ug_oversampler::Setup2(bool first)
{
    if (!child_)
        return;
    SetChildMaster();
    // The child has no parent container: this re-routes its tied pins through
    // the border modules, sorts it and makes its voices.
    child_->PostBuildStuff(first);
    SetChildMaster();
    // Re-routing pointed the child's pins inside; outer lines still come here.
    for (size_t i = 0; i < child_->plugs_.size() && i < plugs_.size(); ++i)
        child_->plugs_[i]->proxy_ = plugs_[i];
    finished_ = true;
}

UPlug* ug_oversampler::CreateProxyPlug(UPlug* inner)
{
    if (!child_ || !in_ || !out_ || !inner || !inner->owner_)
        return nullptr;
    if (finished_)
    {
        // The child's voices are made: a pin among them has copies this
        // border would not reach.
        for (ug_container* c = inner->owner_->parentContainer_; c; c = c->parentContainer_)
        {
            if (c->IsPolyphonicContainer())
                return nullptr;
        }
    }
    auto* outer = new UPlug(this, inner);
    outer->plugFlags_ = 0;
    outer->CreateBuffer();
    AddPlug(outer);
    if (inner->direction_ == DR_IN)
    {
        UPlug* border = in_->AddBorderPin(outer, DR_OUT);
        borderPins_.push_back(border);
        ug_base::connect(border, inner);
    }
    else
    {
        UPlug* border = out_->AddBorderPin(outer, DR_IN);
        borderPins_.push_back(border);
        ug_base::connect(inner, border);
    }
    if (finished_)
    {
        // The child was sorted without this line: sort it again.
        std::vector<ug_base*> modules;
        child_->ExportUgs(modules);
        for (ug_base* module : modules)
            module->sortOrder_ = -1;
        child_->SortOrderSetup();
        child_->SortAll();
    }
    return outer;
}

namespace
{
// The oversamplers whose inner graphs hold `module`, innermost first.
std::vector<ug_oversampler*> BordersAround(ug_base* module)
{
    std::vector<ug_oversampler*> borders;
    for (ug_base* at = module; at && borders.size() < 1000;)
    {
        ug_container* root = at->parentContainer_;
        if (!root)
        {
            // A container held by an oversampler lies, by its pins, outside it.
            auto* held = dynamic_cast<ug_container*>(at);
            auto* holder = held ? dynamic_cast<ug_oversampler*>(held->audioMaster_) : nullptr;
            if (!holder || holder->Child() != held)
                break;
            at = holder;
            continue;
        }
        while (root->parentContainer_)
            root = root->parentContainer_;
        auto* holder = dynamic_cast<ug_oversampler*>(root->audioMaster_);
        if (!holder || holder->Child() != root)
            break;
        borders.push_back(holder);
        at = holder;
    }
    return borders;
}
} // namespace

bool ug_oversampler::ConnectAcross(UPlug* from, UPlug* to)
{
    if (!from || !to || !from->owner_ || !to->owner_)
        return false;
    std::vector<ug_oversampler*> out = BordersAround(from->owner_);
    std::vector<ug_oversampler*> in = BordersAround(to->owner_);
    // Borders both ends lie within are not crossed.
    while (!out.empty() && !in.empty() && out.back() == in.back())
    {
        out.pop_back();
        in.pop_back();
    }
    for (ug_oversampler* border : out)
    {
        if (!(from = border->CreateProxyPlug(from)))
            return false;
    }
    for (ug_oversampler* border : in)
    {
        if (!(to = border->CreateProxyPlug(to)))
            return false;
    }
    ug_base::connect(from, to);
    return true;
}

bool ug_oversampler::PPGetActiveFlag()
{
    for (const UPlug* pin : plugs_)
    {
        if (pin->direction_ == DR_IN && (pin->plugFlags_ & PF_PP_DOWNSTREAM))
            return true;
    }
    return false;
}

int64_t ug_oversampler::ToInner(int64_t outerTime) const
{
    if (up_)
        return outerTime * factor_ + timeOffset_;
    return FloorDiv(outerTime, factor_) + timeOffset_;
}

int64_t ug_oversampler::ToOuter(int64_t innerTime) const
{
    if (up_)
        return FloorDiv(innerTime - timeOffset_, factor_);
    return (innerTime - timeOffset_) * factor_;
}

void ug_oversampler::RelayOutGoingEvent(UPlug* outerPin, const KorvaneEvent* event)
{
    const int64_t time = std::max(ToOuter(event->sampleTime), OuterClock());
    outerPin->Transmit(time, std::max(event->arg2, 0), event->Data());
}

void ug_oversampler::RelayOutGoingState(int64_t innerTime, UPlug* outerPin, state_type state)
{
    outerPin->TransmitState(std::max(ToOuter(innerTime), OuterClock()), state);
}

int ug_oversampler::Open()
{
    if (!Outer() || !child_)
        return -1;
    sampleRate_ = SampleRate();
    SetBlockSize(BlockSize());
    ResetBlockLoop();
    child_->Open();
    const int result = ug_base::Open();
    // Inner time 0 stands for the outer time the oversampler opens at.
    TakeTimeOffset();
    return result;
}

int ug_oversampler::Close()
{
    if (child_ && (child_->flags_ & UGF_OPEN))
        child_->Close();
    return ug_base::Close();
}

void ug_oversampler::TakeTimeOffset()
{
    const int64_t inner = AudioMasterBase::sampleClock_;
    timeOffset_ = up_ ? inner - static_cast<int64_t>(factor_) * OuterClock() : inner - FloorDiv(OuterClock(), factor_);
}

void ug_oversampler::Wake()
{
    const bool wasAsleep = ug_base::sleeping_ != 0;
    ug_base::Wake();
    if (!wasAsleep)
        return;
    TakeTimeOffset();
    woken_ = true;
}

void ug_oversampler::InsertBlockDev(EventProcessor* module)
{
    AudioMasterBase::InsertBlockDev(module);
    // Something inside woke while the oversampler slept: it runs again.
    if (ug_base::sleeping_ && (ug_base::flags_ & UGF_SUSPENDED) == 0)
        Wake();
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
    while (!NoEventBefore(end))
    {
        KorvaneEvent* e = FirstEvent();
        UnlinkEvent(e);
        const int64_t time = std::max(e->sampleTime, OuterClock());
        switch (e->eventType)
        {
        case UET_EVENT_SETPIN:
        case UET_EVENT_MIDI:
        case UET_EVENT_STREAMING_START:
        case UET_EVENT_STREAMING_STOP:
        {
            const int index = e->arg1;
            UPlug* border = index >= 0 && index < static_cast<int>(borderPins_.size()) ? borderPins_[index] : nullptr;
            if (!border || border->owner_ != in_)
                break;
            KorvaneEvent* relayed =
                EventPool::New(GetEventPool(), ToInner(time), ug_oversampler_in::kRelayedEvent, border->index_);
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
    if (woken_)
    {
        TakeTimeOffset();
        woken_ = false;
    }
    TakeEvents(OuterClock() + sampleFrames);
    const int64_t inner = AudioMasterBase::sampleClock_;
    if (up_)
    {
        in_->BeginOuterPiece(blockPosition, inner);
        out_->BeginOuterPiece(blockPosition, inner);
        DoProcessVST(factor_ * sampleFrames);
    }
    else
    {
        // One inner sample each time the outer clock completes a factor.
        const int phase = static_cast<int>(OuterClock() - FloorDiv(OuterClock(), factor_) * factor_);
        const int innerPosition = static_cast<int>(inner % std::max(1, blockSize_));
        const int count = in_->SubProcessDownsample(blockPosition, sampleFrames, phase, innerPosition);
        DoProcessVST(count);
        out_->SubProcessUpsample(blockPosition, sampleFrames, phase, innerPosition);
    }
    ug_base::sampleClock_ += sampleFrames;
    // Nothing inside is awake: the section costs nothing until woken. A
    // module asleep until an event of its own is woken only by this loop.
    if (skipList_.IsEmpty() && !HasTimedSleepers())
        SleepMode();
}

void ug_oversampler::Suspend()
{
    ug_base::Suspend();
    if (Voice* inside = child_ && (ug_base::flags_ & UGF_SUSPENDED) ? child_->VoiceAt(0) : nullptr)
    {
        for (ug_base* module : inside->modules_)
            module->Suspend();
    }
}

void ug_oversampler::Resume(int64_t time)
{
    const bool wasSuspended = (ug_base::flags_ & UGF_SUSPENDED) != 0;
    ug_base::Resume(time);
    TakeTimeOffset();
    woken_ = true;
    if (Voice* inside = child_ && wasSuspended ? child_->VoiceAt(0) : nullptr)
    {
        const int64_t innerTime = ToInner(time);
        for (ug_base* module : inside->modules_)
            module->Resume(innerTime);
        // What leaves the section was the stolen note's: the new one starts
        // from silence, as the modules inside do.
        if (out_)
            out_->ResetFilters();
    }
    if (in_)
        in_->OnOversamplerResume();
    if (out_)
        out_->OnOversamplerResume();
}

void ug_oversampler::SetPPVoiceNumber(int voice)
{
    ug_base::SetPPVoiceNumber(voice);
    if (child_)
        child_->SetPPVoiceNumber(voice);
}

float ug_oversampler::SampleRate()
{
    if (!Outer())
        return sampleRate_;
    const float rate = Outer()->SampleRate();
    return up_ ? rate * static_cast<float>(factor_) : rate / static_cast<float>(factor_);
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
    // Outermost conversion first: nested oversamplers each add their own.
    const int64_t outer = parentContainer_ ? parentContainer_->CalculateOversampledTimestamp(top, time) : time;
    // A value for a section that is not running: a suspended one takes it
    // when it runs again; a sleeping one wakes first, so that the value is
    // timed by the offset of the run it arrives in.
    if (ug_base::flags_ & UGF_SUSPENDED)
        return AudioMasterBase::sampleClock_;
    if (ug_base::sleeping_ && (ug_base::flags_ & UGF_OPEN))
        Wake();
    return ToInner(outer);
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
