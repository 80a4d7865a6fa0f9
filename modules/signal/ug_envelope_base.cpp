#include "modules/signal/ug_envelope_base.h"

#include <algorithm>
#include <cmath>

#include "engine/graph/USampBlock.h"

namespace
{
// Rate voltages beyond this many volts are held here: times stay finite and
// non-zero, so a level never becomes infinite or NaN.
constexpr float kMaxRateVolts = 30.0f;
// Levels (static or streaming) are kept within +-100 V.
constexpr float kMaxLevel = 10.0f;
// A routine may end its segment without writing; more than this in a row
// would mean the segments never settle.
constexpr int kMaxStalls = 16;
// The most envelopes run in one call.
constexpr int kMaxBatch = 16;

inline float Clean(float x)
{
    if (x >= -kMaxLevel && x <= kMaxLevel)
        return x;
    return x > 0.0f ? kMaxLevel : (x < 0.0f ? -kMaxLevel : 0.0f);
}

const float* BufferOf(const UPlug* pin)
{
    const USampBlock* block = pin ? pin->GetSampleBlock() : nullptr;
    return block ? block->GetBlock() : nullptr;
}
} // namespace

ug_envelope_base::ug_envelope_base() : segmentRoutine_(&ug_envelope_base::sub_process7)
{
}

float ug_envelope_base::SafeLevel(float value)
{
    return Clean(value);
}

float ug_envelope_base::SegmentTime(float rateValue)
{
    float volts = rateValue * 10.0f;
    if (!(volts >= -kMaxRateVolts))
        volts = volts != volts ? 0.0f : -kMaxRateVolts;
    volts = std::min(volts, kMaxRateVolts);
    return std::exp2((volts * 12000.0f / 10.0f - 8000.0f) / 1200.0f);
}

float ug_envelope_base::RatePerSample(float rateValue) const
{
    return 1.0f / (SampleRate() * SegmentTime(rateValue));
}

void ug_envelope_base::Announce(state_type state)
{
    if (UPlug* out = GetPlug(outputPinIndex_))
        out->TransmitState(sampleClock_, state);
}

int ug_envelope_base::Open()
{
    const int result = ug_base::Open();
    rate_ = 0.0f;
    currentSegment_ = lastSegment_;
    auto indexOf = [this](const wchar_t* name) {
        const UPlug* pin = GetPlug(std::wstring(name));
        return pin ? pin->index_ : -1;
    };
    outputPinIndex_ = indexOf(L"Signal Out");
    gatePinIndex_ = indexOf(L"Gate");
    overallPinIndex_ = indexOf(L"Overall Level");
    output_ptr_ = const_cast<float*>(BufferOf(GetPlug(outputPinIndex_)));
    for (int k = 0; k < kMaxSegments; ++k)
    {
        rateBuffers_[k] = BufferOf(ratePins_[k]);
        levelBuffers_[k] = BufferOf(levelPins_[k]);
    }
    if (!output_ptr_ || !gate_ptr_ || !overall_ptr_)
    {
        // Without its pins the envelope has nothing to do.
        SetProcessFunction(&ug_base::process_sleep);
        return result;
    }
    ResetStaticOutput();
    ChooseSubProcess();
    return result;
}

void ug_envelope_base::Resume(int64_t time)
{
    ug_base::Resume(time);
    rate_ = 0.0f;
    // Idle holds 0: a reused voice starts from silence, not from the level
    // it had when it was stolen.
    level_ = 0.0f;
    scaledLevel_ = 0.0f;
    currentSegment_ = lastSegment_;
    gateHigh_ = false;
    // A restarted voice starts afresh: a high gate triggers it.
    released_ = true;
    // Idle until the gate says otherwise, whatever segment the voice was
    // in when it was stolen.
    if (output_ptr_ && gate_ptr_ && overall_ptr_)
        ChooseSubProcess();
    // The module runs from the start of the piece, but its voice's note
    // starts at `time`: a gate still up from the stolen note must not start
    // the envelope before then.
    RunDelayed<&ug_envelope_base::VoiceReset>(std::max(time, sampleClock_));
}

bool ug_envelope_base::RampsThrough(int64_t end, int sampleFrames) const
{
    return processFunction_ == static_cast<process_func_ptr>(&ug_envelope_base::sub_process) &&
           segmentRoutine_ == static_cast<segment_func>(&ug_envelope_base::sub_process6) &&
           samplesLeft_ >= sampleFrames && NoEventBefore(end);
}

EventProcessor* ug_envelope_base::RunRow(EventProcessor* first, int blockPosition, int sampleFrames)
{
    auto* lead = static_cast<ug_envelope_base*>(first);
    const int64_t clock = lead->sampleClock_;
    const int64_t end = clock + sampleFrames;
    if (!lead->RampsThrough(end, sampleFrames))
    {
        lead->RunPiece(blockPosition, sampleFrames);
        return lead;
    }
    // RunRow is the copies function of envelopes only.
    auto joins = [&](EventProcessor* node) -> ug_envelope_base* {
        if (!node->JoinsRow(&RunRow, clock, end))
            return nullptr;
        auto* envelope = static_cast<ug_envelope_base*>(node);
        return envelope->RampsThrough(end, sampleFrames) ? envelope : nullptr;
    };
    // A ramp within its segment changes no link.
    return RunInBatches<kMaxBatch>(lead, end, joins, [=](ug_envelope_base* const* batch, int count) {
        RampTogether(batch, count, blockPosition, sampleFrames);
    });
}

void ug_envelope_base::RampTogether(ug_envelope_base* const* batch, int count, int start, int frames)
{
    // The same steps as sub_process6, for a piece within the segment, four
    // envelopes at a time.
    int k = 0;
    for (; k + 4 <= count; k += 4)
    {
        ug_envelope_base* e0 = batch[k];
        ug_envelope_base* e1 = batch[k + 1];
        ug_envelope_base* e2 = batch[k + 2];
        ug_envelope_base* e3 = batch[k + 3];
        float* out0 = e0->output_ptr_ + start;
        float* out1 = e1->output_ptr_ + start;
        float* out2 = e2->output_ptr_ + start;
        float* out3 = e3->output_ptr_ + start;
        float s0 = e0->scaledLevel_, s1 = e1->scaledLevel_, s2 = e2->scaledLevel_, s3 = e3->scaledLevel_;
        const float d0 = e0->scaledRate_, d1 = e1->scaledRate_, d2 = e2->scaledRate_, d3 = e3->scaledRate_;
        for (int i = 0; i < frames; ++i)
        {
            s0 += d0;
            s1 += d1;
            s2 += d2;
            s3 += d3;
            out0[i] = s0;
            out1[i] = s1;
            out2[i] = s2;
            out3[i] = s3;
        }
        EndPiece(e0, s0, out0, frames);
        EndPiece(e1, s1, out1, frames);
        EndPiece(e2, s2, out2, frames);
        EndPiece(e3, s3, out3, frames);
    }
    for (; k < count; ++k)
    {
        ug_envelope_base* e = batch[k];
        float* out = e->output_ptr_ + start;
        float scaled = e->scaledLevel_;
        const float step = e->scaledRate_;
        for (int i = 0; i < frames; ++i)
        {
            scaled += step;
            out[i] = scaled;
        }
        EndPiece(e, scaled, out, frames);
    }
}

void ug_envelope_base::EndPiece(ug_envelope_base* e, float scaled, float* out, int n)
{
    e->scaledLevel_ = scaled;
    e->samplesLeft_ -= n;
    e->level_ = e->RampLevel();
    if (e->samplesLeft_ == 0)
    {
        // The segment ends exactly on its target.
        e->level_ = e->target_;
        out[n - 1] = e->target_ * e->overallLevel_;
    }
}

void ug_envelope_base::VoiceReset()
{
    if (UPlug* gate = GetPlug(gatePinIndex_))
        OnGateChange(gate->getValue());
}

void ug_envelope_base::next_segment()
{
    rate_ = 0.0f;
    if (currentSegment_ < lastSegment_)
    {
        // The sustain segment holds while the gate is high.
        if (!(currentSegment_ == sustainSegment_ && gateHigh_))
        {
            ++currentSegment_;
            rate_ = 1.0f;
        }
    }
    if (!IsStreaming(GetPlug(gatePinIndex_)))
        UseSubProcess();
    ChooseSubProcess();
}

void ug_envelope_base::OnGateChange(float gate)
{
    const bool high = gate > 0.0f;
    if (high == gateHigh_)
        return;
    gateHigh_ = high;
    if (high)
    {
        if (!released_)
            return;
        released_ = false;
        // Segment 0 starts from the present level.
        currentSegment_ = -1;
        next_segment();
        return;
    }
    if (released_)
        return;
    released_ = true;
    if (!(currentSegment_ == sustainSegment_ && currentSegment_ < lastSegment_))
        currentSegment_ = static_cast<int16_t>(lastSegment_ - 1);
    next_segment();
}

void ug_envelope_base::RenderSegments(int start, int count)
{
    int stalls = 0;
    while (count > 0)
    {
        const int done = (this->*segmentRoutine_)(start, count);
        if (done <= 0)
        {
            if (++stalls > kMaxStalls)
            {
                std::fill(output_ptr_ + start, output_ptr_ + start + count, level_ * overallLevel_);
                sampleClock_ += count;
                return;
            }
            continue;
        }
        stalls = 0;
        start += done;
        count -= done;
        sampleClock_ += done;
    }
}

void ug_envelope_base::sub_process(int start, int count)
{
    const int64_t clock = sampleClock_;
    RenderSegments(start, count);
    sampleClock_ = clock;
}

void ug_envelope_base::process_with_gate(int start, int count)
{
    const int64_t clock = sampleClock_;
    const int end = start + count;
    int pos = start;
    while (pos < end)
    {
        int i = pos;
        if (gateHigh_)
        {
            while (i < end && gate_ptr_[i] > 0.0f)
                ++i;
        }
        else
        {
            while (i < end && !(gate_ptr_[i] > 0.0f))
                ++i;
        }
        if (i > pos)
        {
            RenderSegments(pos, i - pos);
            pos = i;
        }
        if (pos < end)
            OnGateChange(gate_ptr_[pos]);
    }
    sampleClock_ = clock;
}

int ug_envelope_base::sub_process3(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, level_ * overallLevel_);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
    {
        if (!IsStreaming(GetPlug(gatePinIndex_)))
            SetProcessFunction(&ug_base::process_sleep);
        SetSegmentRoutine(&ug_envelope_base::sub_process7);
    }
    return count;
}

int ug_envelope_base::sub_process4(int start, int count)
{
    const float* overall = overall_ptr_ + start;
    float* out = output_ptr_ + start;
    const float level = level_;
    for (int s = 0; s < count; ++s)
        out[s] = level * Clean(overall[s]);
    return count;
}

int ug_envelope_base::sub_process9(int start, int count)
{
    const float* target = levelBuffers_[currentSegment_] + start;
    const float* overall = overall_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int s = 0; s < count; ++s)
        out[s] = Clean(target[s]) * Clean(overall[s]);
    level_ = Clean(target[count - 1]);
    return count;
}

int ug_envelope_base::sub_process5b(int start, int count)
{
    if (samplesLeft_ <= 0)
    {
        next_segment();
        return 0;
    }
    const int n = std::min(samplesLeft_, count);
    const float* overall = overall_ptr_ + start;
    float* out = output_ptr_ + start;
    float level = level_;
    for (int s = 0; s < n; ++s)
    {
        level += rate_;
        out[s] = level * Clean(overall[s]);
    }
    level_ = level;
    samplesLeft_ -= n;
    if (samplesLeft_ == 0)
    {
        // The segment ends exactly on its target.
        level_ = target_;
        out[n - 1] = target_ * Clean(overall[n - 1]);
    }
    return n;
}

int ug_envelope_base::sub_process6(int start, int count)
{
    if (samplesLeft_ <= 0)
    {
        next_segment();
        return 0;
    }
    const int n = std::min(samplesLeft_, count);
    float* out = output_ptr_ + start;
    float scaled = scaledLevel_;
    const float step = scaledRate_;
    for (int s = 0; s < n; ++s)
    {
        scaled += step;
        out[s] = scaled;
    }
    scaledLevel_ = scaled;
    samplesLeft_ -= n;
    level_ = RampLevel();
    if (samplesLeft_ == 0)
    {
        level_ = target_;
        out[n - 1] = target_ * overallLevel_;
    }
    return n;
}

int ug_envelope_base::sub_process5(int start, int count)
{
    const float* rate = rateBuffers_[currentSegment_] + start;
    const float* overall = overall_ptr_ + start;
    float* out = output_ptr_ + start;
    const float target = target_;
    const bool rising = target >= level_;
    float level = level_;
    const float sampleRate = SampleRate();
    for (int s = 0; s < count; ++s)
    {
        const float step = 1.0f / (sampleRate * SegmentTime(rate[s]));
        level += rising ? step : -step;
        if (rising ? level >= target : level <= target)
        {
            level_ = target;
            out[s] = target * Clean(overall[s]);
            // The next segment begins at the following sample.
            sampleClock_ += s + 1;
            next_segment();
            sampleClock_ -= s + 1;
            return s + 1;
        }
        out[s] = level * Clean(overall[s]);
    }
    level_ = level;
    return count;
}

int ug_envelope_base::sub_process8(int start, int count)
{
    const float* rate = rateBuffers_[currentSegment_] + start;
    const float* targets = levelBuffers_[currentSegment_] + start;
    const float* overall = overall_ptr_ + start;
    float* out = output_ptr_ + start;
    const bool rising = Clean(targets[0]) >= level_;
    float level = level_;
    const float sampleRate = SampleRate();
    for (int s = 0; s < count; ++s)
    {
        const float target = Clean(targets[s]);
        const float step = 1.0f / (sampleRate * SegmentTime(rate[s]));
        level += rising ? step : -step;
        if (rising ? level >= target : level <= target)
        {
            level_ = target_ = target;
            out[s] = target * Clean(overall[s]);
            sampleClock_ += s + 1;
            next_segment();
            sampleClock_ -= s + 1;
            return s + 1;
        }
        out[s] = level * Clean(overall[s]);
    }
    level_ = level;
    return count;
}

int ug_envelope_base::sub_process7(int /*start*/, int count)
{
    return count;
}
