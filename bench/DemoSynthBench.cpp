// Cost of the demo instrument per held voice at 48 kHz, rendered through the
// whole engine from its patch document, beside a hand-written loop of the
// same DSP (the oscillator's sine table and phase law, the envelope's segment
// times and sustain level, linear amplifiers, the voice sum) with no graph.
// Notes are measured held, in their sustain. Each graph run also times the
// hand loop for the same voices and reports the ratio.
#include "bench/BenchPatch.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

namespace
{
constexpr int kRate = 48000;
constexpr int kHostBlock = 512;
// Held notes are measured in their sustain, after attack and decay.
constexpr int kSettleSamples = kRate / 2;

// The settings of the demo document: attack 0 V, decay 3 V, sustain 7 V,
// velocity 100, volume 8 V, linear amplifier curves.
constexpr float kAttackVolts = 0.0f;
constexpr float kDecayVolts = 3.0f;
constexpr float kSustain = 0.7f;
constexpr float kVelocity = 100.0f / 127.0f;
constexpr float kVolume = 0.8f;

int KeyOfVoice(int v)
{
    return 36 + v * 2;
}

// One cycle of 512 points of the oscillator's sine (harmonic 1 at 0.5) and
// two guard points, read with the same phase split: top 9 bits the point,
// low 23 bits the fraction.
struct SineTable
{
    SineTable()
    {
        for (int i = 0; i < 514; ++i)
            points[static_cast<size_t>(i)] = static_cast<float>(0.5 * std::sin(i * 0.012271846644580364));
    }
    float Read(uint32_t phase) const
    {
        const uint32_t index = phase >> 23;
        const uint32_t bits = (phase & 0x7fffffu) | 0x3f800000u;
        float fraction;
        std::memcpy(&fraction, &bits, sizeof(fraction));
        fraction -= 1.0f;
        const float a = points[index];
        return a + (points[index + 1] - a) * fraction;
    }
    std::vector<float> points = std::vector<float>(514);
};

// Segment time in seconds for a rate input in volts: 2^(V - 6.667).
float SegmentSeconds(float volts)
{
    return std::exp2((volts * 12000.0f / 10.0f - 8000.0f) / 1200.0f);
}

struct HandVoice
{
    uint32_t phase = 0;
    uint32_t increment = 0;
    float level = 0.0f;
    int segment = 0; // 0 attack, 1 decay, 2 sustain
    float attackStep = 0.0f;
    float decayStep = 0.0f;
};

// The same DSP as the graph, voice by voice into one mix.
class HandSynth
{
public:
    explicit HandSynth(int voices) : voices_(static_cast<size_t>(voices)), mix_(kHostBlock)
    {
        for (int v = 0; v < voices; ++v)
        {
            HandVoice& voice = voices_[static_cast<size_t>(v)];
            const double pitch = (KeyOfVoice(v) / 12.0 - 0.75) * 0.1;
            const double hz = 440.0 * std::pow(2.0, 10.0 * pitch - 5.0);
            voice.increment = static_cast<uint32_t>(hz * 4294967296.0 / kRate + 0.5);
            voice.attackStep = 1.0f / (kRate * SegmentSeconds(kAttackVolts));
            voice.decayStep = (1.0f - kSustain) / (kRate * SegmentSeconds(kDecayVolts));
        }
    }

    void Render(float* out, int count)
    {
        std::fill(mix_.begin(), mix_.begin() + count, 0.0f);
        for (HandVoice& voice : voices_)
        {
            for (int s = 0; s < count; ++s)
            {
                if (voice.segment == 0 && (voice.level += voice.attackStep) >= 1.0f)
                {
                    voice.level = 1.0f;
                    voice.segment = 1;
                }
                else if (voice.segment == 1 && (voice.level -= voice.decayStep) <= kSustain)
                {
                    voice.level = kSustain;
                    voice.segment = 2;
                }
                const float envelope = voice.level * kVelocity;
                mix_[static_cast<size_t>(s)] += table_.Read(voice.phase) * envelope;
                voice.phase += voice.increment;
            }
        }
        for (int s = 0; s < count; ++s)
            out[s] = mix_[static_cast<size_t>(s)] * kVolume;
    }

private:
    SineTable table_;
    std::vector<HandVoice> voices_;
    std::vector<float> mix_;
};

// Wall time of `blocks` host blocks of the hand loop, in seconds.
double TimeHandLoop(int voices, int blocks)
{
    HandSynth synth(voices);
    std::vector<float> out(kHostBlock);
    for (int i = 0; i < kSettleSamples / kHostBlock; ++i)
        synth.Render(out.data(), kHostBlock);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < blocks; ++i)
    {
        synth.Render(out.data(), kHostBlock);
        benchmark::DoNotOptimize(out.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Real-time fractions: wall seconds per audio second, in all and per voice.
void Report(benchmark::State& state, int voices)
{
    const double audioSeconds = static_cast<double>(state.iterations()) * kHostBlock / kRate;
    state.counters["rt_fraction"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["rt_fraction_per_voice"] =
        benchmark::Counter(audioSeconds * voices, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DemoSynthGraph(benchmark::State& state, const char* document)
{
    const int voices = static_cast<int>(state.range(0));
    SynthRuntime runtime;
    if (!runtime.initialize(kRate, kHostBlock, ReadPatch(document).c_str()))
    {
        state.SkipWithError("the demo document did not build");
        return;
    }
    KvAudioMaster* master = runtime.AudioMaster();
    std::vector<float> left(kHostBlock), right(kHostBlock);
    float* outputs[2] = {left.data(), right.data()};
    for (int v = 0; v < voices; ++v)
    {
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(KeyOfVoice(v)), 100};
        master->MidiIn(v, on, 3);
    }
    for (int i = 0; i < kSettleSamples / kHostBlock; ++i)
        master->DoProcess(kHostBlock, nullptr, outputs, 0, 2);

    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
    {
        master->DoProcess(kHostBlock, nullptr, outputs, 0, 2);
        benchmark::DoNotOptimize(left.data());
    }
    const double graphSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Report(state, voices);

    // The hand loop over as many blocks, in the same run.
    const int blocks = static_cast<int>(std::min<benchmark::IterationCount>(state.iterations(), 20000));
    const double handSeconds = TimeHandLoop(voices, blocks) * static_cast<double>(state.iterations()) / blocks;
    const double audioSeconds = static_cast<double>(state.iterations()) * kHostBlock / kRate;
    state.counters["hand_rt_fraction_per_voice"] = handSeconds / audioSeconds / voices;
    state.counters["graph_over_hand"] = handSeconds > 0.0 ? graphSeconds / handSeconds : 0.0;
}

void BM_DemoSynthHandLoop(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    HandSynth synth(voices);
    std::vector<float> out(kHostBlock);
    for (int i = 0; i < kSettleSamples / kHostBlock; ++i)
        synth.Render(out.data(), kHostBlock);
    for (auto _ : state)
    {
        synth.Render(out.data(), kHostBlock);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, voices);
}
} // namespace

BENCHMARK_CAPTURE(BM_DemoSynthGraph, six_voice_document, KV_DEMO_SYNTH_DOCUMENT)->Arg(1);
BENCHMARK_CAPTURE(BM_DemoSynthGraph, thirty_two_voice_document, KV_PATCH_DIR "/demo_synth_32.dsp.kv.xml")->Arg(1)->Arg(8)->Arg(32);
BENCHMARK(BM_DemoSynthHandLoop)->Arg(1)->Arg(8)->Arg(32);
