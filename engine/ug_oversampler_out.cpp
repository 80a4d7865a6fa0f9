#include "engine/ug_oversampler_out.h"

#include <algorithm>

#include "engine/IKvAudioMaster.h"
#include "engine/USampBlock.h"
#include "engine/ug_oversampler.h"

int ug_oversampler_out::Open()
{
    if (audioMaster_)
        silence_.assign(static_cast<size_t>(std::max(1, audioMaster_->BlockSize())), 0.0f);
    if (fir_)
        SetProcessFunction(&ug_oversampler_out::process_decimate_fir);
    else
        SetProcessFunction(&ug_oversampler_out::process_decimate);
    return ug_oversampler_io::Open();
}

void ug_oversampler_out::HandleEvent(KorvaneEvent* event)
{
    switch (event->eventType)
    {
    case UET_EVENT_SETPIN:
    case UET_EVENT_MIDI:
        if (UPlug* outer = OuterPin(event->arg1))
            oversampler_->RelayOutGoingEvent(outer, event);
        break;
    case UET_EVENT_STREAMING_START:
    case UET_EVENT_STREAMING_STOP:
    case UET_GRAPH_START:
        // Outer audio outputs stream for as long as the oversampler runs.
        break;
    default:
        ug_base::HandleEvent(event);
        break;
    }
}

void ug_oversampler_out::ClampOuterIndex(int sampleFrames)
{
    const int blockSize = static_cast<int>(silence_.size());
    const int outerWritten = (phase_ + sampleFrames) / factor_;
    if (outerIndex_ < 0 || outerIndex_ + outerWritten > blockSize)
        outerIndex_ = std::clamp(blockSize - outerWritten, 0, blockSize - 1);
}

void ug_oversampler_out::AdvancePhase(int sampleFrames)
{
    phase_ += sampleFrames;
    outerIndex_ += phase_ / factor_;
    phase_ %= factor_;
}

// The walk both filters share: every inner sample goes through `step`, and
// every factor-th result is written to the outer block.
template <class Filter, class Step>
void ug_oversampler_out::Decimate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step)
{
    ClampOuterIndex(sampleFrames);
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        USampBlock* target = pin->datatype_ == DT_FSAMPLE ? outerPins_[i]->GetSampleBlock() : nullptr;
        if (!target)
            continue;
        const USampBlock* source = pin->GetSampleBlock();
        const float* in = (source && source->GetBlock() ? source->GetBlock() : silence_.data()) + blockPosition;
        float* out = target->GetBlock();
        Filter& filter = filters[i];
        int index = outerIndex_;
        int phase = phase_;
        for (int k = 0; k < sampleFrames; ++k)
        {
            const bool emit = ++phase == factor_;
            const float y = step(filter, Tame(in[k]), emit);
            if (emit)
            {
                phase = 0;
                out[index++] = y;
            }
        }
    }
    AdvancePhase(sampleFrames);
}

void ug_oversampler_out::process_decimate(int blockPosition, int sampleFrames)
{
    Decimate(filters_, blockPosition, sampleFrames, [](OversamplerFilter& filter, float x, bool) {
        return filter.Process(x);
    });
}

void ug_oversampler_out::process_decimate_fir(int blockPosition, int sampleFrames)
{
    Decimate(firs_, blockPosition, sampleFrames, [](OversamplerFir& fir, float x, bool emit) {
        fir.Push(x);
        return emit ? fir.Decimate() : 0.0f;
    });
}
