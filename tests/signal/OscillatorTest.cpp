#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "engine/runtime/LookupTable.h"
#include "modules/signal/ug_oscillator2.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
constexpr float kRate = 44100.0f;
constexpr double kTwoPi = 6.283185307179586;
using Osc = ug_oscillator2;
using Rig = SignalRig<Osc>;

// Pin value (1.0 = 10 V) of a frequency in 1 Volt/Octave.
float PitchOf(double hz)
{
    return static_cast<float>((5.0 + std::log2(hz / 440.0)) / 10.0);
}

double IncrementFactor()
{
    return 4294967296.0 / kRate;
}

// An oscillator with its audio inputs fed and held: 5 V pitch, 0 V width,
// sync and phase modulation, 10 V modulation depth.
struct OscRig : Rig
{
    explicit OscRig(int waveform, float pitch = 0.5f)
        : Rig(L"Oscillator", {Osc::PN_PITCH, Osc::PN_PULSE_WIDTH, Osc::PN_SYNC, Osc::PN_PHASE_MOD, Osc::PN_PM_DEPTH},
              Osc::PN_AUDIO_OUT, kRate)
    {
        In(Osc::PN_PITCH).HoldConstant(pitch);
        In(Osc::PN_PULSE_WIDTH).HoldConstant(0.0f);
        In(Osc::PN_SYNC).HoldConstant(0.0f);
        In(Osc::PN_PHASE_MOD).HoldConstant(0.0f);
        In(Osc::PN_PM_DEPTH).HoldConstant(1.0f);
        SetEnum(Osc::PN_WAVEFORM, waveform);
    }
    const std::vector<float>& Out() const { return recorder->audio; }
};

// Frequency from the rising zero crossings, interpolated between samples.
double ZeroCrossingHz(const std::vector<float>& x, size_t from)
{
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (size_t n = from + 1; n < x.size(); ++n)
    {
        if (x[n - 1] < 0.0f && x[n] >= 0.0f)
        {
            const double t = static_cast<double>(n - 1) + x[n - 1] / (x[n - 1] - x[n]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) / (last - first) * kRate : 0.0;
}

// Power of a Hann-windowed stretch in each DFT bin (rate / length apart).
std::vector<double> Spectrum(const std::vector<float>& x, size_t from, size_t length)
{
    std::vector<double> power(length / 2);
    for (size_t k = 0; k < power.size(); ++k)
    {
        double re = 0.0;
        double im = 0.0;
        for (size_t n = 0; n < length; ++n)
        {
            const double w = 0.5 - 0.5 * std::cos(kTwoPi * n / length);
            const double angle = kTwoPi * static_cast<double>(k) * n / length;
            re += w * x[from + n] * std::cos(angle);
            im -= w * x[from + n] * std::sin(angle);
        }
        power[k] = re * re + im * im;
    }
    return power;
}

const float* VoltToHz()
{
    LookupTable* found = nullptr;
    CreateSharedLookup(L"osc VtoHz", &found, static_cast<int>(kRate), Osc::kVoltToHzSize, false, false, SLS_GLOBAL,
                       nullptr);
    auto* table = dynamic_cast<ULookup*>(found);
    return table && table->IsFilled() ? table->GetBlock() : nullptr;
}
} // namespace

TEST(OscillatorRegistration, TheModuleIsRegisteredWithItsTenPins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Oscillator");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetRegistrationNumber1(), 32819);
    ASSERT_EQ(info->GetPinDescriptions().size(), 10u);
    EXPECT_EQ(info->getPinDescriptionById(2)->GetEnumList(), L"Sine, Saw, Ramp, Triangle, Pulse,White Noise,Pink Noise");
    EXPECT_EQ(info->getPinDescriptionById(6)->GetEnumList(), L"1 Volt/Octave, 1 Volt/kHz ");
    EXPECT_EQ(info->getPinDescriptionById(6)->GetFlags(), 0x40000u);
    EXPECT_EQ(info->getPinDescriptionById(4)->GetEnumList(), L"100, 0, 5, -5");
    EXPECT_EQ(info->getPinDescriptionById(9)->GetName(), L"Sync X-Fade (Anti Alias)");
}

TEST(OscillatorTables, VoltsToHertzFollowsTheOctaveLawUpToItsCap)
{
    OscRig rig(Osc::WF_SINE);
    const float* t = VoltToHz();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[720], 440.0f);
    for (int i = 0; i < Osc::kVoltToHzSize; ++i)
    {
        const double hz = std::min(440.0 * std::pow(2.0, i * 22.0 / 1056.0 - 15.0), 0.55 * kRate);
        ASSERT_NEAR(t[i], hz, hz * 1e-6) << i;
    }
    EXPECT_EQ(rig.module->PitchToIncrement(0.5f), static_cast<uint32_t>(440.0f * static_cast<float>(IncrementFactor()) + 0.5f));
    EXPECT_EQ(rig.module->PitchToIncrement(-1.0f), 0u);
    // 1 Volt/kHz: 0.44 gives 4400 Hz, capped at half the rate.
    rig.SetEnum(Osc::PN_FREQ_SCALE, 1);
    rig.graph.Run(96);
    EXPECT_EQ(rig.module->PitchToIncrement(0.44f), static_cast<uint32_t>(4400.0 * IncrementFactor() + 0.5));
    EXPECT_EQ(rig.module->PitchToIncrement(50.0f), 2147483648u);
}

TEST(OscillatorTables, SetsHoldTheDocumentedHarmonicsWithChainedBounds)
{
    OscRig rig(Osc::WF_SAW);
    const std::vector<int> sawCounts = {256, 210, 148, 104, 73, 51, 36, 25, 17, 12, 8, 5, 3, 2, 1};
    const std::vector<int> triangleTop = {255, 231, 163, 115, 81, 57, 39, 27, 19, 13, 9, 5, 3, 1};
    const auto saw = Osc::SlotHarmonics(Osc::OWF_SAW);
    ASSERT_EQ(saw.size(), sawCounts.size());
    for (size_t j = 0; j < saw.size(); ++j)
        EXPECT_EQ(static_cast<int>(saw[j].size()), sawCounts[j]) << j;
    const auto triangle = Osc::SlotHarmonics(Osc::OWF_TRIANGLE);
    ASSERT_EQ(triangle.size(), triangleTop.size());
    for (size_t j = 0; j < triangle.size(); ++j)
        EXPECT_EQ(triangle[j].back(), triangleTop[j]) << j;
    EXPECT_EQ(Osc::SlotHarmonics(Osc::OWF_SINE).size(), 1u);
    EXPECT_EQ(Osc::WaveTableName(Osc::OWF_SAW, 14, true), L"KvOsc2Wave2H14G1");

    for (bool smooth : {true, false})
    {
        std::vector<const float*> tables;
        for (size_t j = 0; j < saw.size(); ++j)
        {
            LookupTable* found = nullptr;
            CreateSharedLookup(Osc::WaveTableName(Osc::OWF_SAW, static_cast<int>(j), smooth), &found,
                               static_cast<int>(kRate), 517, false, false, SLS_GLOBAL, nullptr);
            auto* table = dynamic_cast<ULookup*>(found);
            ASSERT_TRUE(table && table->IsFilled()) << j;
            const int top = saw[j].back();
            EXPECT_EQ(Osc::Bound(table, 1), static_cast<uint32_t>(2147483648.0 / top * 0.8908987181403393));
            if (j == 0)
            {
                EXPECT_EQ(Osc::Bound(table, 0), 0u);
                EXPECT_EQ(Osc::Bound(table, 2), 0u);
            }
            else
            {
                const int richer = saw[j - 1].back();
                EXPECT_EQ(Osc::Bound(table, 2), static_cast<uint32_t>(2147483648.0 / richer * 0.8908987181403393));
                EXPECT_LT(Osc::Bound(table, 0), Osc::Bound(table, 2));
            }
            // The samples are the windowed harmonic sum, with two guard points.
            const float* s = Osc::Samples(table);
            const double n = static_cast<double>(saw[j].size());
            for (int i = 0; i < 514; i += 7)
            {
                double sum = 0.0;
                for (int h : saw[j])
                {
                    const double window = smooth ? 0.54 + 0.46 * std::cos((h - 1) * 3.141592653589793 / n) : 1.0;
                    sum += -0.32 / h * window * std::sin(h * i * 0.012271846644580364);
                }
                ASSERT_NEAR(s[i], sum, 1e-5) << j << " " << i;
            }
            EXPECT_NEAR(s[512], s[0], 1e-4);
            EXPECT_NEAR(s[513], s[1], 1e-4);
        }
    }
}

TEST(OscillatorPitch, FiveVoltsSoundsAt440HertzForSineAndSaw)
{
    for (int waveform : {Osc::WF_SINE, Osc::WF_SAW, Osc::WF_TRIANGLE})
    {
        OscRig rig(waveform);
        rig.graph.Run(static_cast<int>(kRate));
        EXPECT_NEAR(ZeroCrossingHz(rig.Out(), 100), 440.0, 0.01) << waveform;
    }
    OscRig octave(Osc::WF_SINE, 0.6f);
    octave.graph.Run(static_cast<int>(kRate));
    EXPECT_NEAR(ZeroCrossingHz(octave.Out(), 100), 880.0, 0.02);
}

TEST(OscillatorPitch, TheSineIsHalfAmplitudeFromPhaseZero)
{
    OscRig rig(Osc::WF_SINE);
    rig.graph.Run(2000);
    const double inc = rig.module->Increment();
    for (int n = 0; n < 2000; ++n)
        ASSERT_NEAR(rig.Out()[n], 0.5 * std::sin(kTwoPi * std::fmod(n * inc, 4294967296.0) / 4294967296.0), 1e-4) << n;
}

TEST(OscillatorPitch, AStreamingPitchMovesTheFrequencyEverySample)
{
    OscRig rig(Osc::WF_SINE);
    auto pitch = [](int64_t t) { return t < 22050 ? 0.5f : 0.4f; };
    rig.In(Osc::PN_PITCH).Stream(pitch);
    rig.graph.Run(static_cast<int>(kRate));
    std::vector<float> first(rig.Out().begin(), rig.Out().begin() + 22050);
    std::vector<float> second(rig.Out().begin() + 22050, rig.Out().end());
    EXPECT_NEAR(ZeroCrossingHz(first, 10), 440.0, 0.05);
    EXPECT_NEAR(ZeroCrossingHz(second, 10), 220.0, 0.05);
}

TEST(OscillatorBandLimit, AHighSawKeepsItsEnergyOnTheHarmonics)
{
    // 4410 samples: bins are 10 Hz; harmonics of 4000 Hz fall on bins 400, 800 ...
    OscRig rig(Osc::WF_SAW, PitchOf(4000.0));
    rig.graph.Run(6000);
    const std::vector<double> power = Spectrum(rig.Out(), 1000, 4410);
    double harmonic = 0.0;
    double other = 0.0;
    for (size_t k = 1; k < power.size(); ++k)
    {
        const size_t nearest = (k + 200) / 400 * 400;
        const bool onHarmonic = nearest > 0 && (k > nearest ? k - nearest : nearest - k) <= 3;
        (onHarmonic ? harmonic : other) += power[k];
    }
    // Aliases would land between the harmonics (a naive saw puts over 1e-3 there).
    EXPECT_LT(other, harmonic * 1e-5);
}

TEST(OscillatorBandLimit, ASineAboveItsLimitFadesToSilence)
{
    OscRig rig(Osc::WF_SINE, PitchOf(0.46 * kRate));
    rig.graph.Run(400);
    EXPECT_EQ(rig.module->PlayingTable(), rig.module->SilenceTable());
    // A table change waits for a running fade: silent within two blocks.
    for (size_t n = 200; n < rig.Out().size(); ++n)
        ASSERT_EQ(rig.Out()[n], 0.0f) << n;
}

TEST(OscillatorBandLimit, TableChangesHaveOneSemitoneOfHysteresisAndAFade)
{
    OscRig rig(Osc::WF_SAW, 0.3f);
    rig.graph.Run(300);
    const auto& set = *rig.module->CurrentSet();
    const size_t slot = 8;
    const uint32_t lower = Osc::Bound(set[slot].GetTable(), 0);
    const uint32_t plainLower = Osc::Bound(set[slot].GetTable(), 2);
    const uint32_t upper = Osc::Bound(set[slot].GetTable(), 1);
    auto pitchFor = [](uint32_t inc) { return PitchOf(inc / IncrementFactor()); };

    // From below: up to slot 8's plain lower bound the richer slot 7 stays.
    rig.In(Osc::PN_PITCH).HoldConstant(pitchFor(lower - lower / 200));
    rig.graph.Run(300);
    EXPECT_EQ(rig.module->PlayingTable(), set[slot - 1].GetTable());
    rig.In(Osc::PN_PITCH).HoldConstant(pitchFor((lower + plainLower) / 2));
    rig.graph.Run(300);
    EXPECT_EQ(rig.module->PlayingTable(), set[slot - 1].GetTable());

    // Crossing the upper bound fades over 20 samples to slot 8.
    rig.In(Osc::PN_PITCH).HoldConstant(pitchFor(plainLower + plainLower / 200));
    rig.graph.Run(10);
    EXPECT_EQ(rig.module->TargetTable(), set[slot].GetTable());
    EXPECT_EQ(rig.module->WaveCrossfadeLeft(), 10);
    rig.graph.Run(10);
    EXPECT_EQ(rig.module->PlayingTable(), set[slot].GetTable());

    // From above: back between its two lower bounds, slot 8 stays.
    rig.In(Osc::PN_PITCH).HoldConstant(pitchFor((lower + plainLower) / 2));
    rig.graph.Run(96);
    EXPECT_EQ(rig.module->PlayingTable(), set[slot].GetTable());
    EXPECT_GT(upper, plainLower);
}

TEST(OscillatorBandLimit, AWaveformChangePassesThroughSlotZeroForTwentySamples)
{
    OscRig rig(Osc::WF_SINE, PitchOf(3000.0));
    rig.graph.Run(300);
    rig.SetEnum(Osc::PN_WAVEFORM, Osc::WF_SAW);
    rig.graph.Run(1);
    const auto& set = *rig.module->CurrentSet();
    EXPECT_EQ(rig.module->PlayingTable(), set[0].GetTable());
    EXPECT_NE(rig.module->TargetTable(), set[0].GetTable());
    rig.graph.Run(19);
    EXPECT_EQ(rig.module->WaveCrossfadeLeft(), 0);
    EXPECT_EQ(rig.module->PlayingTable(), rig.module->TargetTable());
}

TEST(OscillatorShapes, RampIsTheInvertedSawAndPulseWidthSetsTheDutyCycle)
{
    OscRig saw(Osc::WF_SAW, 0.3f);
    OscRig ramp(Osc::WF_RAMP, 0.3f);
    saw.graph.Run(3000);
    ramp.graph.Run(3000);
    for (size_t n = 100; n < 3000; ++n)
        ASSERT_FLOAT_EQ(ramp.Out()[n], -saw.Out()[n]) << n;

    for (float width : {0.0f, 0.5f, -0.6f, 3.0f})
    {
        OscRig pulse(Osc::WF_PULSE, 0.3f);
        pulse.In(Osc::PN_PULSE_WIDTH).HoldConstant(width);
        pulse.graph.Run(8820);
        int high = 0;
        double sum = 0.0;
        for (size_t n = 220; n < 8820; ++n)
        {
            high += pulse.Out()[n] > 0.0f ? 1 : 0;
            sum += pulse.Out()[n];
        }
        const double c = std::clamp(static_cast<double>(width), -0.99, 0.99);
        EXPECT_NEAR(high / 8600.0, (1.0 - c) / 2.0, 0.02) << width;
        EXPECT_NEAR(sum / 8600.0, 0.0, 0.03) << width;
    }
}

TEST(OscillatorShapes, AStreamingPulseWidthMatchesTheSameStaticWidth)
{
    OscRig fixed(Osc::WF_PULSE, 0.3f);
    OscRig streaming(Osc::WF_PULSE, 0.3f);
    fixed.In(Osc::PN_PULSE_WIDTH).HoldConstant(0.4f);
    streaming.In(Osc::PN_PULSE_WIDTH).Stream([](int64_t) { return 0.4f; });
    fixed.graph.Run(2000);
    streaming.graph.Run(2000);
    for (size_t n = 100; n < 2000; ++n)
        ASSERT_NEAR(streaming.Out()[n], fixed.Out()[n], 1e-5) << n;
}

TEST(OscillatorPhase, AStaticPhaseModShiftsThePhaseAtOnce)
{
    OscRig rig(Osc::WF_SINE);
    rig.graph.Run(960);
    const uint32_t before = rig.module->Phase();
    // -2.5 V at 10 V depth: a quarter cycle.
    rig.In(Osc::PN_PHASE_MOD).HoldConstant(-0.25f);
    rig.graph.Run(200);
    const double inc = rig.module->Increment();
    const double phase0 = static_cast<double>(before) + 1073741824.0;
    for (int n = 0; n < 200; ++n)
    {
        const double phase = std::fmod(phase0 + n * inc, 4294967296.0);
        ASSERT_NEAR(rig.Out()[960 + n], 0.5 * std::sin(kTwoPi * phase / 4294967296.0), 1e-4) << n;
    }
}

TEST(OscillatorPhase, AStreamingPhaseModMovesThePhaseSampleBySample)
{
    OscRig rig(Osc::WF_SINE, 0.3f);
    auto pm = [](int64_t t) { return 0.3f * std::sin(0.003f * static_cast<float>(t)); };
    rig.In(Osc::PN_PHASE_MOD).Stream(pm);
    rig.graph.Run(3000);
    // The phase of sample n lags the modulation of sample n - 1.
    const double inc = rig.module->Increment();
    for (int n = 200; n < 3000; ++n)
    {
        const double cycles = std::fmod(n * inc / 4294967296.0 - pm(n - 1), 1.0);
        ASSERT_NEAR(rig.Out()[n], 0.5 * std::sin(kTwoPi * cycles), 2e-3) << n;
    }
}

TEST(OscillatorSync, AStaticRiseResetsThePhaseWithOrWithoutAFourSampleFade)
{
    for (bool fade : {false, true})
    {
        OscRig rig(Osc::WF_SINE);
        rig.SetBool(Osc::PN_SYNC_XFADE, fade);
        rig.graph.Run(1000);
        rig.In(Osc::PN_SYNC).HoldConstant(0.5f);
        rig.graph.Run(100);
        const double inc = rig.module->Increment();
        for (int n = 0; n < 100; ++n)
        {
            const double synced = 0.5 * std::sin(kTwoPi * n * inc / 4294967296.0);
            if (!fade || n >= 4)
            {
                ASSERT_NEAR(rig.Out()[1000 + n], synced, 1e-4) << fade << " " << n;
            }
        }
        if (fade)
        {
            // The first sample still leans on the unsynchronised continuation.
            const double free = 0.5 * std::sin(kTwoPi * std::fmod(1000.0 * inc, 4294967296.0) / 4294967296.0);
            const double blend = free * 0.8 + 0.0 * 0.2;
            EXPECT_NEAR(rig.Out()[1000], blend, 1e-3);
        }
    }
}

TEST(OscillatorSync, AStreamingSyncMakesTheOutputRepeatWithTheSyncPeriod)
{
    OscRig rig(Osc::WF_SAW, 0.5f);
    // A 150-sample square: the oscillator restarts every 150 samples.
    rig.In(Osc::PN_SYNC).Stream([](int64_t t) { return (t % 150) < 75 ? 0.5f : -0.5f; });
    rig.graph.Run(3000);
    for (int n = 500; n < 2800; ++n)
        ASSERT_NEAR(rig.Out()[n + 150], rig.Out()[n], 2e-3) << n;
    // 440 Hz would not repeat every 150 samples on its own.
    OscRig free(Osc::WF_SAW, 0.5f);
    free.graph.Run(3000);
    double difference = 0.0;
    for (int n = 500; n < 2800; ++n)
        difference += std::fabs(free.Out()[n + 150] - free.Out()[n]);
    EXPECT_GT(difference, 100.0);
}

TEST(OscillatorNoise, OscillatorsDrawOneSharedWhiteNoiseSequence)
{
    kvtest::TestGraph graph(96, kRate);
    std::vector<Osc*> oscs;
    std::vector<kvtest::Recorder*> recorders;
    for (int i = 0; i < 2; ++i)
    {
        auto* osc = static_cast<Osc*>(CModuleFactory::Instance()->GetById(L"Oscillator")->BuildSynthOb());
        osc->Setup(&graph.master, nullptr);
        osc->sortOrder_ = 5 + i;
        graph.modules.emplace_back(osc);
        auto* rec = graph.Add<kvtest::Recorder>(1);
        ug_base::connect(osc->plugs_[Osc::PN_AUDIO_OUT], rec->plugs_[kvtest::Recorder::PN_AUDIO]);
        oscs.push_back(osc);
        recorders.push_back(rec);
    }
    graph.OpenAll();
    const int32_t white = Osc::WF_WHITE_NOISE;
    for (Osc* osc : oscs)
        osc->SetPinValue(0, Osc::PN_WAVEFORM, DT_ENUM, &white, 4);
    uint32_t state = oscs[0]->NoiseState();
    graph.Run(96 * 4);

    // Blocks alternate: the second oscillator (sorted first) then the first.
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        const uint32_t bits = (state & 0x7fffffu) | 0x3f800000u;
        float v;
        std::memcpy(&v, &bits, 4);
        return v - 1.5f;
    };
    for (int block = 0; block < 4; ++block)
    {
        for (int i : {1, 0})
        {
            for (int n = 0; n < 96; ++n)
            {
                const float v = next();
                ASSERT_EQ(recorders[i]->audio[block * 96 + n], v) << block << " " << i << " " << n;
                ASSERT_TRUE(v >= -0.5f && v < 0.5f);
            }
        }
    }
}

TEST(OscillatorRobustness, BadPitchWidthModulationAndWaveformValuesStayFiniteAndInTable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float bad[] = {nan, inf, -inf, 1e30f, -1e30f, 1e9f};
    for (int scale : {0, 1})
    {
        for (int waveform : {0, 1, 2, 3, 4, 5, 6, 7, -1, 300})
        {
            for (float value : bad)
            {
                OscRig rig(waveform);
                rig.SetEnum(Osc::PN_FREQ_SCALE, scale);
                rig.In(Osc::PN_PITCH).HoldConstant(value);
                rig.graph.Run(200);
                rig.In(Osc::PN_PITCH).Stream([value](int64_t t) { return t % 2 ? value : 0.5f; });
                rig.In(Osc::PN_PULSE_WIDTH).Stream([value](int64_t t) { return t % 3 ? value : 0.1f; });
                rig.In(Osc::PN_PHASE_MOD).Stream([value](int64_t t) { return t % 5 ? value : 0.2f; });
                rig.In(Osc::PN_SYNC).Stream([value](int64_t t) { return t % 7 ? value : -0.2f; });
                rig.graph.Run(300);
                rig.In(Osc::PN_PHASE_MOD).HoldConstant(value);
                rig.In(Osc::PN_PM_DEPTH).HoldConstant(value);
                rig.In(Osc::PN_SYNC).HoldConstant(value);
                rig.graph.Run(200);
                for (float v : rig.Out())
                    ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 2.0f) << scale << " " << waveform << " " << value;
                if (waveform < 0 || waveform > 6)
                {
                    for (float v : rig.Out())
                        ASSERT_EQ(v, 0.0f);
                }
            }
        }
    }
}

TEST(OscillatorLifecycle, TheOutputStreamsAndTheModuleNeverSleeps)
{
    OscRig rig(Osc::WF_SAW);
    rig.graph.Run(96 * 50);
    EXPECT_TRUE(rig.module->IsListed());
    ASSERT_FALSE(rig.recorder->changes.empty());
    EXPECT_EQ(rig.recorder->changes.front().state, ST_STREAMING);
    for (const auto& change : rig.recorder->changes)
        EXPECT_NE(change.state, ST_STATIC);
}
