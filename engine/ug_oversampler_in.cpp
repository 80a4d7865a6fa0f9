#include "engine/ug_oversampler_in.h"

#include <algorithm>

#include "engine/IKvAudioMaster.h"
#include "engine/USampBlock.h"

int ug_oversampler_in::Open()
{
    if (audioMaster_)
        silence_.assign(static_cast<size_t>(std::max(1, audioMaster_->BlockSize())), 0.0f);
    if (fir_)
        SetProcessFunction(&ug_oversampler_in::process_interpolate_fir);
    else
        SetProcessFunction(&ug_oversampler_in::process_interpolate);
    return ug_oversampler_io::Open();
}

void ug_oversampler_in::HandleEvent(KorvaneEvent* event)
{
    switch (event->eventType)
    {
    case UET_GRAPH_START:
        AnnounceAudioStreaming(event->sampleTime);
        break;
    case kRelayedEvent:
        if (UPlug* pin = GetPlug(event->arg1))
        {
            // Audio stays streaming: the filter output moves on after its input stops.
            if (event->arg4 == UET_EVENT_SETPIN || event->arg4 == UET_EVENT_MIDI)
                pin->Transmit(event->sampleTime, event->arg2, event->Data());
        }
        break;
    default:
        ug_base::HandleEvent(event);
        break;
    }
}

int ug_oversampler_in::ClampOuterIndex(int sampleFrames)
{
    const int blockSize = static_cast<int>(silence_.size());
    const int outerNeeded = (phase_ + sampleFrames + factor_ - 1) / factor_;
    if (outerIndex_ < 0 || outerIndex_ + outerNeeded > blockSize)
        outerIndex_ = std::clamp(blockSize - outerNeeded, 0, blockSize - 1);
    return outerIndex_;
}

void ug_oversampler_in::AdvancePhase(int sampleFrames)
{
    phase_ += sampleFrames;
    outerIndex_ += phase_ / factor_;
    phase_ %= factor_;
}

void ug_oversampler_in::process_interpolate(int blockPosition, int sampleFrames)
{
    ClampOuterIndex(sampleFrames);
    const float gain = static_cast<float>(factor_);
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        USampBlock* target = pin->datatype_ == DT_FSAMPLE ? pin->GetSampleBlock() : nullptr;
        if (!target)
            continue;
        const USampBlock* source = outerPins_[i]->GetSampleBlock();
        const float* in = source && source->GetBlock() ? source->GetBlock() : silence_.data();
        float* out = target->GetBlock() + blockPosition;
        OversamplerFilter& filter = filters_[i];
        int index = outerIndex_;
        int phase = phase_;
        // Zero stuffing: one outer sample (times the factor) per factor inner samples.
        for (int k = 0; k < sampleFrames; ++k)
        {
            const float x = phase == 0 ? Tame(in[index]) * gain : 0.0f;
            out[k] = filter.Process(x);
            if (++phase == factor_)
            {
                phase = 0;
                ++index;
            }
        }
    }
    AdvancePhase(sampleFrames);
}

void ug_oversampler_in::process_interpolate_fir(int blockPosition, int sampleFrames)
{
    ClampOuterIndex(sampleFrames);
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        USampBlock* target = pin->datatype_ == DT_FSAMPLE ? pin->GetSampleBlock() : nullptr;
        if (!target)
            continue;
        const USampBlock* source = outerPins_[i]->GetSampleBlock();
        const float* in = source && source->GetBlock() ? source->GetBlock() : silence_.data();
        float* out = target->GetBlock() + blockPosition;
        OversamplerFir& fir = firs_[i];
        int index = outerIndex_;
        int phase = phase_;
        for (int k = 0; k < sampleFrames; ++k)
        {
            if (phase == 0)
                fir.Push(Tame(in[index]));
            out[k] = fir.Interpolate(phase);
            if (++phase == factor_)
            {
                phase = 0;
                ++index;
            }
        }
    }
    AdvancePhase(sampleFrames);
}
