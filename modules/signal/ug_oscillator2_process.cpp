// Process functions of the oscillator: table reading per waveform and input
// states, the crossfades that hide a table change or a sync reset, hard sync
// and noise.
#include <algorithm>
#include <cstring>

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/LookupTable.h"
#include "modules/signal/ug_oscillator2.h"

namespace
{
constexpr float kWaveFadeStep = 0.04761905f; // 1/21
constexpr float kSyncFadeStep = 0.2f;

// Linear interpolation between two of the 512 points: the top 9 bits of the
// phase pick the point, the low 23 bits become the fraction by bit placement.
inline float ReadTable(const float* samples, uint32_t phase)
{
    const uint32_t index = phase >> 23;
    const uint32_t bits = (phase & 0x7fffffu) | 0x3f800000u;
    float fraction;
    std::memcpy(&fraction, &bits, sizeof(fraction));
    fraction -= 1.0f;
    const float a = samples[index];
    return a + (samples[index + 1] - a) * fraction;
}

using Osc = ug_oscillator2;
using RowFunction = void (Osc::*)(int, int);

// A row function, and the same for a row of oscillators in one call.
struct Row
{
    RowFunction function;
    ug_base::copies_func_ptr copies;
};

template <auto Function>
constexpr Row kRow{Function, &ug_base::RunCopies<Function>};

// The row functions of one combination of input states, by shape.
template <bool Khz, bool Pitch, bool Pm>
constexpr Row kRowShapes[4] = {
    kRow<&Osc::sub_process_table<Osc::SH_PLAIN, Pitch, Pm, Khz>>,
    kRow<&Osc::sub_process_table<Osc::SH_RAMP, Pitch, Pm, Khz>>,
    kRow<&Osc::sub_process_table<Osc::SH_PULSE, Pitch, Pm, Khz>>,
    kRow<&Osc::sub_process_table<Osc::SH_PULSE_PW, Pitch, Pm, Khz>>,
};

Row RowFor(bool khz, bool pitch, bool pm, int shape)
{
    if (!pitch)
        return pm ? kRowShapes<false, false, true>[shape] : kRowShapes<false, false, false>[shape];
    if (khz)
        return pm ? kRowShapes<true, true, true>[shape] : kRowShapes<true, true, false>[shape];
    return pm ? kRowShapes<false, true, true>[shape] : kRowShapes<false, true, false>[shape];
}
} // namespace

template <int Shape, bool PitchStreams, bool PmStreams, bool PerKilohertz>
void ug_oscillator2::sub_process_table(int start, int count)
{
    const float* table = samples_;
    float* out = output_ptr_;
    uint32_t phase = phase_;
    uint32_t increment = increment_;
    uint32_t offset = phaseModOffset_;
    const uint32_t pulseOffset = pulseOffset_;
    const float incrementFactor = incrementFactor_;
    // Only a streaming pitch needs the rate and the tables of the pitch law.
    const float* voltToHz = PitchStreams && voltToHz_ ? voltToHz_->GetBlock() : nullptr;
    const float sampleRate = PitchStreams && PerKilohertz ? SampleRate() : 0.0f;
    const double khzFactor = PitchStreams && PerKilohertz ? 4294967296.0 / sampleRate : 0.0;
    // A streaming pitch is held to the playing table's range at every
    // sample (outside a crossfade, which changes no table): the table
    // changes at the same sample however the calls are cut.
    bool watch = PitchStreams && waveCrossfade_ == 0;
    const uint32_t lower = lowerBound_;
    const uint32_t upper = upperBound_;

    const int end = start + count;
    for (int s = start; s < end; ++s)
    {
        // The step from this sample to the next.
        if constexpr (PitchStreams)
        {
            const float pitch = pitch_ptr_[s];
            if constexpr (PerKilohertz)
            {
                const float hz = std::min(0.5f * sampleRate, pitch * 10000.0f);
                increment = pitch > 0.0f ? static_cast<uint32_t>(hz * khzFactor + 0.5) : 0u;
            }
            else
            {
                increment = 0;
                if (pitch > -1.0f && voltToHz)
                    increment = static_cast<uint32_t>(HzAtTable(voltToHz, pitch) * incrementFactor + 0.5f);
            }
            if (watch && (increment < lower || increment > upper))
            {
                phase_ = phase;
                phaseModOffset_ = offset;
                increment_ = increment;
                switch_wavetable(increment, s);
                // The rest fades to the new table from this sample on.
                if (waveCrossfade_ > 0)
                {
                    process_wave_crossfade(s, end - s);
                    return;
                }
                // No table to change to (noise, or no set in use).
                watch = false;
            }
        }

        float value;
        if constexpr (Shape == SH_PULSE || Shape == SH_PULSE_PW)
        {
            uint32_t width = pulseOffset;
            if constexpr (Shape == SH_PULSE_PW)
                width = StreamingPulseOffset(pulseWidth_ptr_[s]);
            value = ReadTable(table, phase - width) - ReadTable(table, phase);
        }
        else
        {
            value = ReadTable(table, phase);
            if constexpr (Shape == SH_RAMP)
                value = -value;
        }
        out[s] = value;

        if constexpr (PmStreams)
        {
            const uint32_t next = PhaseModOffset(phaseMod_ptr_[s], pmDepth_ptr_[s]);
            phase += offset - next;
            offset = next;
        }
        phase += increment;
    }
    phase_ = phase;
    phaseModOffset_ = offset;
    if constexpr (PitchStreams)
        increment_ = increment;
}

void ug_oscillator2::ChooseProcessFunction(int blockPos)
{
    blockPos = std::clamp(blockPos, 0, std::max(0, audioMaster_ ? audioMaster_->BlockSize() - 1 : 0));
    if (!tablesOk_ || !samples_)
    {
        SetProcessFunction(&ug_oscillator2::process_silence);
        return;
    }
    int shape = SH_PLAIN;
    switch (waveform_)
    {
    case WF_WHITE_NOISE:
        SetProcessFunction(&ug_oscillator2::process_white_noise);
        return;
    case WF_PINK_NOISE:
        SetProcessFunction(&ug_oscillator2::process_pink_noise);
        return;
    case WF_SINE:
    case WF_SAW:
    case WF_TRIANGLE:
        break;
    case WF_RAMP:
        shape = SH_RAMP;
        break;
    case WF_PULSE:
        shape = plugs_[PN_PULSE_WIDTH]->state_ == ST_STREAMING ? SH_PULSE_PW : SH_PULSE;
        break;
    default:
        // A waveform outside the list plays silence.
        SetProcessFunction(&ug_oscillator2::process_silence);
        return;
    }
    if (shape == SH_PULSE)
        pulseOffset_ = StaticPulseOffset(pulseWidth_ptr_[blockPos]);

    const Row row = RowFor(freqScale_ == 1, plugs_[PN_PITCH]->state_ == ST_STREAMING, PhaseModStreams(), shape);
    rowFunction_ = row.function;
    waveInner_ = rowFunction_;
    syncInner_ = waveCrossfade_ > 0 ? &ug_oscillator2::process_wave_crossfade : rowFunction_;
    if (plugs_[PN_SYNC]->state_ == ST_STREAMING || syncCrossfade_ > 0)
        SetProcessFunction(&ug_oscillator2::process_with_sync);
    else if (waveCrossfade_ > 0)
        SetProcessFunction(&ug_oscillator2::process_wave_crossfade);
    else
        SetProcessFunction(rowFunction_, row.copies);
}

void ug_oscillator2::RunAsleep(int64_t count)
{
    // Exact in wrapping arithmetic: the same as `count` steps of the increment.
    phase_ += increment_ * static_cast<uint32_t>(count);
    for (int64_t s = 0; s < count && syncCrossfade_ > 0; ++s, --syncCrossfade_)
        syncFadeGain_ -= kSyncFadeStep;
    if (waveCrossfade_ <= 0)
        return;
    const int position = BlockPos();
    while (count > 0 && waveCrossfade_ > 0)
    {
        for (; count > 0 && waveCrossfade_ > 0; --count, --waveCrossfade_)
            waveFadeGain_ -= kWaveFadeStep;
        if (waveCrossfade_ == 0)
        {
            // As at the end of a fade awake: the new table plays, and the
            // pitch may ask for another.
            playingTable_ = targetTable_;
            samples_ = Samples(playingTable_);
            switch_wavetable(increment_, position);
        }
    }
    ChooseProcessFunction(position);
}

void ug_oscillator2::process_wave_crossfade(int start, int count)
{
    const int n = std::min(count, waveCrossfade_);
    float old[kWaveCrossfade];
    const uint32_t phase = phase_;
    const uint32_t offset = phaseModOffset_;
    const ULookup* oldTable = playingTable_;

    (this->*waveInner_)(start, n);
    std::copy(output_ptr_ + start, output_ptr_ + start + n, old);
    phase_ = phase;
    phaseModOffset_ = offset;
    playingTable_ = targetTable_;
    samples_ = Samples(playingTable_);
    (this->*waveInner_)(start, n);

    float g = waveFadeGain_;
    float* out = output_ptr_ + start;
    for (int s = 0; s < n; ++s)
    {
        g -= kWaveFadeStep;
        out[s] = old[s] * g + (1.0f - g) * out[s];
    }
    waveFadeGain_ = g;
    waveCrossfade_ -= n;

    if (waveCrossfade_ > 0)
    {
        // The fade goes on in the next call.
        playingTable_ = oldTable;
        samples_ = Samples(playingTable_);
        return;
    }
    // The table for the pitch at the fade's last sample comes next, wherever
    // the calls happen to be cut.
    const int last = start + n - 1;
    switch_wavetable(PitchToIncrement(pitch_ptr_[last]), last);
    ChooseProcessFunction(last);
    if (count > n)
    {
        if (waveCrossfade_ > 0)
            process_wave_crossfade(start + n, count - n);
        else
            (this->*waveInner_)(start + n, count - n);
    }
}

void ug_oscillator2::process_sync_crossfade(int start, int count)
{
    // Both runs use the row function: a pending table fade resumes afterwards.
    const int n = std::min(count, syncCrossfade_);
    float old[kSyncCrossfade];
    const uint32_t phase = phase_;
    const uint32_t offset = phaseModOffset_;

    phase_ = phase + syncPhaseDifference_;
    (this->*rowFunction_)(start, n);
    std::copy(output_ptr_ + start, output_ptr_ + start + n, old);
    phase_ = phase;
    phaseModOffset_ = offset;
    (this->*rowFunction_)(start, n);

    float g = syncFadeGain_;
    float* out = output_ptr_ + start;
    for (int s = 0; s < n; ++s)
    {
        g -= kSyncFadeStep;
        out[s] = old[s] * g + (1.0f - g) * out[s];
    }
    syncFadeGain_ = g;
    syncCrossfade_ -= n;
    if (count > n)
        (this->*syncInner_)(start + n, count - n);
}

void ug_oscillator2::RenderSyncStretch(int from, int to)
{
    if (to <= from)
        return;
    if (syncCrossfade_ > 0)
        process_sync_crossfade(from, to - from);
    else
        (this->*syncInner_)(from, to - from);
}

void ug_oscillator2::process_with_sync(int start, int count)
{
    const int end = start + count;
    int from = start;
    for (int i = start; i < end; ++i)
    {
        const float s = sync_ptr_[i];
        const bool low = !(s > 0.0f);
        if (low == syncLow_)
            continue;
        RenderSyncStretch(from, i);
        from = i;
        syncLow_ = low;
        if (low)
            continue;
        // Rise: the cycle restarts where the input crossed zero between samples.
        const float previous = i > 0 ? sync_ptr_[i - 1] : lastSync_;
        float fraction = s / (s - previous);
        if (!(fraction >= 0.0f && fraction <= 1.0f))
            fraction = 0.0f;
        const uint32_t increment = PitchToIncrement(pitch_ptr_[i]);
        const uint32_t offset = PhaseModOffset(phaseMod_ptr_[i], pmDepth_ptr_[i]);
        const uint32_t phase = static_cast<uint32_t>(static_cast<double>(fraction) * increment) - offset;
        syncPhaseDifference_ = phase_ - phase;
        phase_ = phase;
        phaseModOffset_ = offset;
        if (syncCrossfadeOn_)
        {
            syncCrossfade_ = kSyncCrossfade;
            syncFadeGain_ = 1.0f;
        }
    }
    RenderSyncStretch(from, end);
    lastSync_ = sync_ptr_[end - 1];
    if (syncCrossfade_ <= 0 && plugs_[PN_SYNC]->state_ != ST_STREAMING)
        ChooseProcessFunction(end - 1);
}

void ug_oscillator2::process_white_noise(int start, int count)
{
    uint32_t state = static_cast<uint32_t>(*noiseState_);
    for (int s = start; s < start + count; ++s)
    {
        state = state * 1664525u + 1013904223u;
        const uint32_t bits = (state & 0x7fffffu) | 0x3f800000u;
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        output_ptr_[s] = value - 1.5f;
    }
    *noiseState_ = static_cast<int32_t>(state);
}

void ug_oscillator2::process_pink_noise(int start, int count)
{
    uint32_t state = static_cast<uint32_t>(*noiseState_);
    float p0 = pink_[0], p1 = pink_[1], p2 = pink_[2], p3 = pink_[3], p4 = pink_[4], p5 = pink_[5];
    for (int s = start; s < start + count; ++s)
    {
        state = state * 1664525u + 1013904223u;
        const uint32_t bits = (state & 0x7fffffu) | 0x3f800000u;
        float w;
        std::memcpy(&w, &bits, sizeof(w));
        w -= 1.5f;
        p0 = p0 * 0.997f + w * 0.029591f;
        p1 = p1 * 0.985f + w * 0.032534f;
        p2 = p2 * 0.95f + w * 0.048056f;
        p3 = p3 * 0.85f + w * 0.090579f;
        p4 = p4 * 0.62f + w * 0.10899f;
        p5 = p5 * 0.25f + w * 0.255784f;
        output_ptr_[s] = p0 + p1 + p2 + p3 + p4 + p5;
    }
    *noiseState_ = static_cast<int32_t>(state);
    pink_[0] = p0;
    pink_[1] = p1;
    pink_[2] = p2;
    pink_[3] = p3;
    pink_[4] = p4;
    pink_[5] = p5;
}

void ug_oscillator2::process_silence(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, 0.0f);
}
