#include "engine/oversampling/ug_oversampler_in.h"

#include <algorithm>

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

int ug_oversampler_in::Open()
{
    // Going down, the oversampler runs the filters before the inner run.
    if (!up_)
        SetProcessFunction(&ug_base::process_nothing);
    else if (fir_)
        SetProcessFunction(&ug_oversampler_in::process_interpolate_fir);
    else
        OversamplerFilter::WithLength(sections_, [this](auto n) {
            SetProcessFunction(&ug_oversampler_in::process_interpolate<decltype(n)::value>);
        });
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
    {
        UPlug* pin = GetPlug(event->arg1);
        if (!pin)
            break;
        const auto index = static_cast<size_t>(event->arg1);
        switch (event->arg4)
        {
        case UET_EVENT_SETPIN:
        case UET_EVENT_MIDI:
            pin->Transmit(event->sampleTime, event->arg2, event->Data());
            break;
        case UET_EVENT_STREAMING_START:
        case UET_EVENT_STREAMING_STOP:
            // Inside, the filtered signal moves on after its input stops: it
            // stays streaming until it has settled.
            if (pin->datatype_ != DT_FSAMPLE)
                break;
            settle_[index] = event->arg4 == UET_EVENT_STREAMING_START ? kStreaming : kJustStopped;
            pin->TransmitState(event->sampleTime, ST_STREAMING);
            break;
        default:
            break;
        }
        break;
    }
    default:
        ug_base::HandleEvent(event);
        break;
    }
}

int ug_oversampler_in::ClampOuterIndex(int outerIndex, int phase, int sampleFrames) const
{
    const int blockSize = static_cast<int>(silence_.size());
    const int outerNeeded = (phase + sampleFrames + factor_ - 1) / factor_;
    if (outerIndex < 0 || outerIndex + outerNeeded > blockSize)
        return std::clamp(blockSize - outerNeeded, 0, blockSize - 1);
    return outerIndex;
}

void ug_oversampler_in::AnnounceStatic(size_t pin, int64_t time)
{
    plugs_[pin]->TransmitState(time, ST_STATIC);
}

// The walk both filters share going up: one outer sample enters every factor
// inner samples (zero stuffing), and `step` gives each inner sample.
template <class Filter, class Step>
void ug_oversampler_in::Interpolate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step)
{
    int firstIndex = 0;
    int firstPhase = 0;
    LocateOuter(sampleClock_, firstIndex, firstPhase);
    firstIndex = ClampOuterIndex(firstIndex, firstPhase, sampleFrames);
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        USampBlock* target = nullptr;
        const float* in = nullptr;
        if (!RelayBlocks(i, false, target, in))
            continue;
        const bool settling = BeginSettling(i);
        float* out = target->GetBlock() + blockPosition;
        Filter& filter = filters[i];
        int index = firstIndex;
        int phase = firstPhase;
        float x = Tame(in[index]);
        for (int k = 0; k < sampleFrames; ++k)
        {
            const bool fresh = phase == 0;
            if (fresh)
                x = Tame(in[index]);
            float y = step(filter, fresh, fresh ? x : 0.0f, phase);
            if (settling && settle_[i] > 0)
                y = Settle(i, y, x, phase);
            out[k] = y;
            if (++phase == factor_)
            {
                phase = 0;
                ++index;
            }
        }
        if (FinishSettling(i, settling, target->GetBlock(), x))
            AnnounceStatic(i, sampleClock_ + sampleFrames);
    }
    if (AllQuiet())
        SleepMode();
}

template <int Sections>
void ug_oversampler_in::process_interpolate(int blockPosition, int sampleFrames)
{
    // The stuffed zeros take the level away: the outer sample enters times the factor.
    const float gain = static_cast<float>(factor_);
    Interpolate(filters_, blockPosition, sampleFrames, [gain](OversamplerFilter& filter, bool, float x, int) {
        return filter.ProcessN<Sections>(x * gain);
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

// Going down: every outer sample goes through `step`; each time the outer
// clock completes a factor, the result is the next inner sample.
template <class Filter, class Step>
void ug_oversampler_in::Decimate(std::vector<Filter>& filters, int outerPosition, int n, int phase,
                                 int innerPosition, Step step)
{
    const int blockSize = BlockSizeOf();
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        USampBlock* target = nullptr;
        const float* in = nullptr;
        if (!RelayBlocks(i, false, target, in))
            continue;
        const bool settling = BeginSettling(i);
        in += outerPosition;
        float* out = target->GetBlock();
        Filter& filter = filters[i];
        int written = 0;
        float x = 0.0f;
        for (int k = 0; k < n; ++k)
        {
            x = Tame(in[k]);
            const bool emit = (phase + k + 1) % factor_ == 0;
            float y = step(filter, x, emit);
            if (!emit)
                continue;
            if (settling && settle_[i] > 0)
                y = Settle(i, y, x, 0);
            out[(innerPosition + written++) % blockSize] = y;
        }
        if (n > 0 && FinishSettling(i, settling, out, x) && audioMaster_)
            AnnounceStatic(i, audioMaster_->SampleClock() + written);
    }
}

int ug_oversampler_in::SubProcessDownsample(int outerPosition, int n, int phase, int innerPosition)
{
    const int count = (phase + n) / factor_;
    const int blockSize = static_cast<int>(silence_.size());
    if (sleeping_ || n <= 0 || outerPosition < 0 || outerPosition + n > blockSize)
        return count;
    if (fir_)
        Decimate(firs_, outerPosition, n, phase, innerPosition, [](OversamplerFir& fir, float x, bool emit) {
            fir.Push(x);
            return emit ? fir.Decimate() : 0.0f;
        });
    else
        OversamplerFilter::WithLength(sections_, [&](auto length) {
            Decimate(filters_, outerPosition, n, phase, innerPosition, [](OversamplerFilter& filter, float x, bool) {
                return filter.ProcessN<decltype(length)::value>(x);
            });
        });
    if (AllQuiet())
        SleepMode();
    return count;
}
