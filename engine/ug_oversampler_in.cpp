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

// The walk both filters share: one outer sample enters every factor inner
// samples (zero stuffing), and `step` gives each inner sample.
template <class Filter, class Step>
void ug_oversampler_in::Interpolate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step)
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
        Filter& filter = filters[i];
        int index = outerIndex_;
        int phase = phase_;
        for (int k = 0; k < sampleFrames; ++k)
        {
            const bool fresh = phase == 0;
            out[k] = step(filter, fresh, fresh ? Tame(in[index]) : 0.0f, phase);
            if (++phase == factor_)
            {
                phase = 0;
                ++index;
            }
        }
    }
    AdvancePhase(sampleFrames);
}

void ug_oversampler_in::process_interpolate(int blockPosition, int sampleFrames)
{
    // The stuffed zeros take the level away: the outer sample enters times the factor.
    const float gain = static_cast<float>(factor_);
    Interpolate(filters_, blockPosition, sampleFrames, [gain](OversamplerFilter& filter, bool, float x, int) {
        return filter.Process(x * gain);
    });
}

void ug_oversampler_in::process_interpolate_fir(int blockPosition, int sampleFrames)
{
    Interpolate(firs_, blockPosition, sampleFrames, [](OversamplerFir& fir, bool fresh, float x, int phase) {
        if (fresh)
            fir.Push(x);
        return fir.Interpolate(phase);
    });
}
