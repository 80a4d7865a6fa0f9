#include "modules/signal/ug_oscillator2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"


namespace
{
constexpr double kTwoPow32 = 4294967296.0;
constexpr float kTwoPow31 = 2147483648.0f;
constexpr float kTwoPow30 = 1073741824.0f;

float ClampWidth(float w)
{
    if (w > 0.99f)
        return 0.99f;
    if (w >= -0.99f)
        return w;
    return w < 0.0f ? -0.99f : 0.0f; // NaN counts as 0 V: a square
}
} // namespace

ug_oscillator2::ug_oscillator2() = default;

void ug_oscillator2::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"100, 0, 10, 0",
                                       IO_POLYPHONIC_ACTIVE, L"1 Volt per Octave, 5V = Middle A", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Pulse Width", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Width of rectangular pulse. -10 to 10 Volts = 0 to 100%", &pulseWidth_ptr_));
    pins.push_back(new InterfaceObject(&waveform_, L"Waveform", DR_IN, DT_ENUM, L"1",
                                       L"Sine, Saw, Ramp, Triangle, Pulse,White Noise,Pink Noise", IO_POLYPHONIC_ACTIVE,
                                       L"Selects different wave shapes"));
    pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(
        nullptr, L"Sync", DR_IN, DT_FSAMPLE, L"0", L"100, 0, 5, -5", IO_POLYPHONIC_ACTIVE,
        L"Syncs this Oscillator to an external signal, usually another oscillator to produce a gnarly sound.",
        &sync_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Phase Mod", DR_IN, DT_FSAMPLE, L"0", L"100, 0, 10, 0",
                                       IO_POLYPHONIC_ACTIVE,
                                       L"Shifts the phase: -5 to +5 Volts moves it by up to half a cycle either way, "
                                       L"for phase-modulation synthesis",
                                       &phaseMod_ptr_));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0", L"1 Volt/Octave, 1 Volt/kHz ",
                                       IO_MINIMISED,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
    pins.push_back(new InterfaceObject(nullptr, L"PM Depth", DR_IN, DT_FSAMPLE, L"5", L"100, 0, 10, 0",
                                       IO_POLYPHONIC_ACTIVE, L"Varies the phase modulation depth (0 to 10 Volts)",
                                       &pmDepth_ptr_));
    pins.push_back(new InterfaceObject(
        &smoothPeaks_, L"Smooth Peaks (Gibbs Effect)", DR_IN, DT_BOOL, L"1", L"", IO_MINIMISED,
        L"Improves the Wave Appearance by rolling off upper harmonics, reduces wave 'brightness' though."));
    pins.push_back(new InterfaceObject(&syncCrossfadeOn_, L"Sync X-Fade (Anti Alias)", DR_IN, DT_BOOL, L"1", L"",
                                       IO_MINIMISED,
                                       L"Reduces Alias noise when Syncing at Audio rates. Can be disabled to provide "
                                       L"precise note-on phase sync (usefull for phase modulation patches)"));
}

bool ug_oscillator2::BuildTables()
{
    const float sampleRate = SampleRate();
    InitVoltToHzTable(this, voltToHz_);
    // One noise state per engine, 0 when the engine starts.
    ULookup_Integer* noise = nullptr;
    CreateSharedLookup2(L"Osc-Noise-State", noise, -1, 1, true, SLS_PER_INSTANCE);
    noiseState_ = noise ? noise->GetBlock() : &ownNoiseState_;
    bool ok = voltToHz_ != nullptr;

    if (sineSet_.empty() || !sineSet_[0].GetTable())
    {
        ok = FillWaveTable(this, sampleRate, sineSet_, OWF_SINE, true) && ok;
        const uint32_t sineUpper = sineSet_.empty() || !sineSet_[0].GetTable() ? 0u : Bound(sineSet_[0].GetTable(), 1);
        silence_.Create(L"Osc-Silence", -1, [sineUpper](ULookup& table) {
            float* data = table.GetBlock();
            std::fill(data, data + table.GetSize(), 0.0f);
            const uint32_t all = kNoBound;
            std::memcpy(data + 0, &sineUpper, 4);
            std::memcpy(data + 1, &all, 4);
            std::memcpy(data + 2, &sineUpper, 4);
        });
        ok = ok && silence_.GetTable() != nullptr;
    }
    if (tablesRate_ != static_cast<int>(sampleRate) || sawSet_.empty())
    {
        ok = FillWaveTable(this, sampleRate, sawSet_, OWF_SAW, true) && ok;
        ok = FillWaveTable(this, sampleRate, sawPlainSet_, OWF_SAW, false) && ok;
        ok = FillWaveTable(this, sampleRate, triangleSet_, OWF_TRIANGLE, false) && ok;
        tablesRate_ = static_cast<int>(sampleRate);
    }
    return ok;
}

int ug_oscillator2::Open()
{
    tablesOk_ = BuildTables();
    incrementFactor_ = static_cast<float>(kTwoPow32 / SampleRate());
    const int result = ug_base::Open();
    ChangeWaveform(0);
    ChooseProcessFunction(0);
    RunDelayed<&ug_oscillator2::OnFirstSample>(sampleClock_);
    return result;
}

void ug_oscillator2::Resume(int64_t time)
{
    const bool suspended = (flags_ & UGF_SUSPENDED) != 0;
    const int64_t stoppedAt = sampleClock_;
    ug_base::Resume(time);
    // A voice sleeps from the end of one of the engine's blocks until its
    // next note. Its oscillator wakes as if it had run all along, so that
    // the voice's next note sounds the same however long the voice slept.
    if (suspended && IsListed() && sampleClock_ > stoppedAt)
        RunAsleep(sampleClock_ - stoppedAt);
}

void ug_oscillator2::OnFirstSample()
{
    plugs_[PN_AUDIO_OUT]->TransmitState(sampleClock_, ST_STREAMING);
    phaseModOffset_ = PhaseModOffset(plugs_[PN_PHASE_MOD]->getValue(), plugs_[PN_PM_DEPTH]->getValue());
    phase_ = 0u - phaseModOffset_;
    syncLow_ = !(plugs_[PN_SYNC]->getValue() > 0.0f);
}

uint32_t ug_oscillator2::PitchToIncrement(float pitch) const
{
    const float sampleRate = SampleRate();
    if (freqScale_ == 1)
    {
        if (!(pitch > 0.0f))
            return 0;
        const float hz = std::min(0.5f * sampleRate, pitch * 10000.0f);
        return static_cast<uint32_t>(hz * (kTwoPow32 / sampleRate) + 0.5);
    }
    // At or below -10 V (and for NaN) the phase holds.
    if (!(pitch > -1.0f) || !voltToHz_)
        return 0;
    return static_cast<uint32_t>(HzAt(pitch) * incrementFactor_ + 0.5f);
}

uint32_t ug_oscillator2::PhaseModOffset(float phaseMod, float depth)
{
    const float m = phaseMod * depth;
    float fraction = m - std::trunc(m);
    if (!(fraction > -1.0f && fraction < 1.0f))
        fraction = 0.0f;
    // Doubled in unsigned arithmetic: a negative fraction wraps to the same phase.
    const auto half = static_cast<uint32_t>(static_cast<int32_t>(fraction * kTwoPow31));
    return half * 2u;
}

uint32_t ug_oscillator2::StaticPulseOffset(float width)
{
    return static_cast<uint32_t>((1.0f - ClampWidth(width)) * kTwoPow31);
}

uint32_t ug_oscillator2::StreamingPulseOffset(float width)
{
    return static_cast<uint32_t>((1.0f - ClampWidth(width)) * kTwoPow30) * 2u;
}

bool ug_oscillator2::PhaseModStreams() const
{
    return plugs_[PN_PHASE_MOD]->state_ == ST_STREAMING || plugs_[PN_PM_DEPTH]->state_ == ST_STREAMING;
}

void ug_oscillator2::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    const int index = pin->index_;
    const int position = BlockPos();
    const bool isNoise = waveform_ == WF_WHITE_NOISE || waveform_ == WF_PINK_NOISE;

    if ((index == PN_PHASE_MOD || index == PN_PM_DEPTH) && state != ST_STREAMING && !PhaseModStreams())
    {
        // The output phase jumps with the modulation.
        const uint32_t offset = PhaseModOffset(plugs_[PN_PHASE_MOD]->getValue(), plugs_[PN_PM_DEPTH]->getValue());
        phase_ += phaseModOffset_ - offset;
        phaseModOffset_ = offset;
    }
    if (index == PN_SYNC && state != ST_STREAMING)
    {
        const bool low = !(plugs_[PN_SYNC]->getValue() > 0.0f);
        if (low != syncLow_)
        {
            syncLow_ = low;
            if (!low)
            {
                // Rise: restart the cycle.
                const uint32_t offset =
                    PhaseModOffset(plugs_[PN_PHASE_MOD]->getValue(), plugs_[PN_PM_DEPTH]->getValue());
                syncPhaseDifference_ = phase_ + offset;
                phase_ = 0u - offset;
                phaseModOffset_ = offset;
                if (syncCrossfadeOn_)
                {
                    syncCrossfade_ = kSyncCrossfade;
                    syncFadeGain_ = 1.0f;
                }
            }
        }
    }
    if ((index == PN_PITCH || index == PN_FREQ_SCALE) && plugs_[PN_PITCH]->state_ != ST_STREAMING && !isNoise)
    {
        increment_ = PitchToIncrement(plugs_[PN_PITCH]->getValue());
        switch_wavetable(increment_, position);
    }
    if (index == PN_WAVEFORM || index == PN_SMOOTH_PEAKS)
        ChangeWaveform(position);
    ChooseProcessFunction(position);
}

void ug_oscillator2::ChangeWaveform(int blockPos)
{
    currentSet_ = nullptr;
    switch (waveform_)
    {
    case WF_SINE:
        currentSet_ = &sineSet_;
        break;
    case WF_SAW:
    case WF_RAMP:
    case WF_PULSE:
        currentSet_ = smoothPeaks_ ? &sawSet_ : &sawPlainSet_;
        break;
    case WF_TRIANGLE:
        currentSet_ = &triangleSet_;
        break;
    default:
        break;
    }
    if (!tablesOk_)
        currentSet_ = nullptr;
    if (!currentSet_)
    {
        playingTable_ = targetTable_ = tablesOk_ ? sineSet_[0].GetTable() : nullptr;
        samples_ = playingTable_ ? Samples(playingTable_) : nullptr;
        increment_ = 0;
        return;
    }
    // Start on slot 0 and fade to the right table.
    playingTable_ = targetTable_ = (*currentSet_)[0].GetTable();
    lowerBound_ = upperBound_ = kNoBound;
    increment_ = PitchToIncrement(plugs_[PN_PITCH]->getValue());
    switch_wavetable(increment_, blockPos);
    // During a running fade the table choice waits, but the new wave plays now.
    samples_ = Samples(playingTable_);
}

void ug_oscillator2::switch_wavetable(uint32_t increment, int blockPos)
{
    if (waveCrossfade_ > 0)
        return;
    if ((lowerBound_ > increment || increment > upperBound_) && currentSet_)
    {
        const std::vector<SharedOscWaveTable>& set = *currentSet_;
        const ULookup* target = set[0].GetTable();
        if (increment > Bound(set.back().GetTable(), 1))
        {
            target = silence_.GetTable();
        }
        else
        {
            for (size_t slot = set.size() - 1; slot >= 1; --slot)
            {
                if (Bound(set[slot].GetTable(), 2) <= increment)
                {
                    target = set[slot].GetTable();
                    break;
                }
            }
        }
        targetTable_ = target;
        waveCrossfade_ = kWaveCrossfade;
        waveFadeGain_ = 1.0f;
        ChooseProcessFunction(blockPos);
        lowerBound_ = Bound(target, 0);
        upperBound_ = Bound(target, 1);
    }
    if (playingTable_)
        samples_ = Samples(playingTable_);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Oscillator", 32819, 32820, nullptr, &UnitClassOf<ug_oscillator2>::value, 256));
}
