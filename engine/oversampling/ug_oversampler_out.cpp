#include "engine/oversampling/ug_oversampler_out.h"

#include <algorithm>

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "engine/oversampling/ug_oversampler.h"

int ug_oversampler_out::Open()
{
    if (!up_)
        SetProcessFunction(&ug_base::process_nothing);
    else if (fir_)
        SetProcessFunction(&ug_oversampler_out::process_decimate_fir);
    else
        OversamplerFilter::WithLength(sections_, [this](auto n) {
            SetProcessFunction(&ug_oversampler_out::process_decimate<decltype(n)::value>);
        });
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
    {
        UPlug* outer = OuterPin(event->arg1);
        if (!outer || outer->datatype_ != DT_FSAMPLE)
            break;
        // The filter's output moves on after its input stops: outside, the
        // signal streams until it has settled.
        settle_[static_cast<size_t>(event->arg1)] =
            event->eventType == UET_EVENT_STREAMING_START ? kStreaming : kJustStopped;
        oversampler_->RelayOutGoingState(event->sampleTime, outer, ST_STREAMING);
        break;
    }
    case UET_GRAPH_START:
        // The oversampler announces its audio outputs itself.
        break;
    default:
        ug_base::HandleEvent(event);
        break;
    }
}

int ug_oversampler_out::ClampOuterIndex(int outerIndex, int phase, int sampleFrames) const
{
    const int blockSize = static_cast<int>(silence_.size());
    const int outerWritten = (phase + sampleFrames) / factor_;
    if (outerIndex < 0 || outerIndex + outerWritten > blockSize)
        return std::clamp(blockSize - outerWritten, 0, blockSize - 1);
    return outerIndex;
}

// Going up: every inner sample goes through `step`, and every factor-th
// result is written to the outer block.
template <class Filter, class Step>
void ug_oversampler_out::Decimate(std::vector<Filter>& filters, int blockPosition, int sampleFrames, Step step)
{
    int firstIndex = 0;
    int firstPhase = 0;
    LocateOuter(sampleClock_, firstIndex, firstPhase);
    firstIndex = ClampOuterIndex(firstIndex, firstPhase, sampleFrames);
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        USampBlock* target = nullptr;
        const float* in = nullptr;
        if (!RelayBlocks(i, true, target, in))
            continue;
        const bool settling = BeginSettling(i);
        in += blockPosition;
        float* out = target->GetBlock();
        Filter& filter = filters[i];
        int index = firstIndex;
        int phase = firstPhase;
        float x = 0.0f;
        for (int k = 0; k < sampleFrames; ++k)
        {
            x = Tame(in[k]);
            const bool emit = ++phase == factor_;
            float y = step(filter, x, emit);
            if (!emit)
                continue;
            phase = 0;
            if (settling && settle_[i] > 0)
                y = Settle(i, y, x, 0);
            out[index++] = y;
        }
        if (sampleFrames > 0 && FinishSettling(i, settling, out, x))
            oversampler_->RelayOutGoingState(sampleClock_ + sampleFrames, outerPins_[i], ST_STATIC);
    }
    if (AllQuiet())
        SleepMode();
}

template <int Sections>
void ug_oversampler_out::process_decimate(int blockPosition, int sampleFrames)
{
    Decimate(filters_, blockPosition, sampleFrames, [](OversamplerFilter& filter, float x, bool) {
        return filter.ProcessN<Sections>(x);
    });
}

void ug_oversampler_out::process_decimate_fir(int blockPosition, int sampleFrames)
{
    Decimate(firs_, blockPosition, sampleFrames, [](OversamplerFir& fir, float x, bool emit) {
        fir.Push(x);
        return emit ? fir.Decimate() : 0.0f;
    });
}

// Going down: each inner sample enters once every factor outer samples, at
// the outer sample where the in module made it; zeros fill the rest.
template <class Filter, class Step>
void ug_oversampler_out::Interpolate(std::vector<Filter>& filters, int outerPosition, int n, int phase,
                                     int innerPosition, Step step)
{
    const int blockSize = BlockSizeOf();
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        USampBlock* target = nullptr;
        const float* in = nullptr;
        if (!RelayBlocks(i, true, target, in))
            continue;
        const bool settling = BeginSettling(i);
        float* out = target->GetBlock() + outerPosition;
        Filter& filter = filters[i];
        int read = 0;
        float x = Tame(in[(innerPosition + blockSize - 1) % blockSize]);
        for (int k = 0; k < n; ++k)
        {
            const int p = (phase + k + 1) % factor_;
            const bool fresh = p == 0;
            if (fresh)
                x = Tame(in[(innerPosition + read++) % blockSize]);
            float y = step(filter, fresh, fresh ? x : 0.0f, p);
            if (settling && settle_[i] > 0)
                y = Settle(i, y, x, p);
            out[k] = y;
        }
        if (n > 0 && FinishSettling(i, settling, target->GetBlock(), x) && audioMaster_)
            oversampler_->RelayOutGoingState(audioMaster_->SampleClock(), outerPins_[i], ST_STATIC);
    }
}

void ug_oversampler_out::SubProcessUpsample(int outerPosition, int n, int phase, int innerPosition)
{
    const int blockSize = static_cast<int>(silence_.size());
    if (sleeping_ || n <= 0 || outerPosition < 0 || outerPosition + n > blockSize)
        return;
    if (fir_)
    {
        Interpolate(firs_, outerPosition, n, phase, innerPosition,
                    [](OversamplerFir& fir, bool fresh, float x, int p) {
                        if (fresh)
                            fir.Push(x);
                        return fir.Interpolate(p);
                    });
    }
    else
    {
        const float gain = static_cast<float>(factor_);
        OversamplerFilter::WithLength(sections_, [&](auto length) {
            Interpolate(filters_, outerPosition, n, phase, innerPosition,
                        [gain](OversamplerFilter& filter, bool, float x, int) {
                            return filter.ProcessN<decltype(length)::value>(x * gain);
                        });
        });
    }
    if (AllQuiet())
        SleepMode();
}
