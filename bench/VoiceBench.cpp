// Cost of a subtractive voice (tests/patches/two_saw_voice.dsp.kv.xml: two
// band-limited saws, a sine LFO through a fixed-gain VCA, a state-variable
// low-pass, two ADSRs, an exponential VCA, a fixed-gain master VCA) through
// the whole engine, beside a hand-fused loop of the same voice: one scalar
// loop per voice with the modules' own tables and formulas.
//
// Notes are either held into their sustain ("sustained") or released and
// struck again every 2560 samples, so that both envelopes always move
// ("moving"). Ratios are timed block by block in the same run:
//   BM_VoiceEngineOverFused   engine / fused, 32 voices, 512-sample host blocks
//   BM_VoiceHostBlocks        host blocks of 16, 64, 512, 4096 against 512, and
//                             16-sample blocks against the fused loop's
//   BM_VoiceCounts            per voice, 128 voices against 8
// BM_VoiceEngine and BM_VoiceFused run one case alone, for profiling.
#include "bench/BenchPatch.h"
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/LookupTable.h"
#include "engine/runtime/SharedOscWaveTable.h"
#include "engine/runtime/SynthRuntime.h"
#include "modules/signal/ug_envelope_base.h"
#include "modules/signal/ug_filter_sv.h"
#include "modules/signal/ug_oscillator2.h"
#include "modules/signal/ug_vca.h"

namespace
{
constexpr int kRate = 48000;
constexpr int kSettleSamples = kRate;
// In the moving case every note is released at a multiple of kTogglePeriod
// and struck again half a period later.
constexpr int kTogglePeriod = 5120;
constexpr unsigned char kVelocity = 100;

// The settings of the document.
constexpr float kAttackVolts = 3.0f;
constexpr float kDecayVolts = 4.0f;
constexpr float kSustainLevel = 0.5f;
constexpr float kReleaseVolts = 4.0f;
constexpr float kResonance = 0.5f;
constexpr float kLfoPitch = -0.28f;
constexpr float kLfoDepth = 0.2f;
constexpr float kMasterGain = 0.8f;

const std::string& VoiceDocument()
{
    static const std::string document = ReadPatch(KV_PATCH_DIR "/two_saw_voice.dsp.kv.xml");
    return document;
}

// 128 different keys over the whole keyboard, the first ones spread wide.
int KeyOfVoice(int v)
{
    return (v * 45 + 20) % 128;
}

float PitchOfKey(int key)
{
    return static_cast<float>((key / 12.0 - 0.75) * 0.1);
}

uint32_t IncrementOfPitch(float pitch)
{
    const double hz = 440.0 * std::pow(2.0, 10.0 * pitch - 5.0);
    return static_cast<uint32_t>(hz * 4294967296.0 / kRate + 0.5);
}

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

// The oscillator's tables: the saw slot whose partials stay below Nyquist
// for an increment, and the sine.
class Tables
{
public:
    Tables()
    {
        ug_oscillator2::FillWaveTable(nullptr, kRate, saw_, ug_oscillator2::OWF_SAW, true);
        ug_oscillator2::FillWaveTable(nullptr, kRate, sine_, ug_oscillator2::OWF_SINE, true);
        for (int i = 0; i < ug_filter_sv::kTableSize; ++i)
            cutoff[static_cast<size_t>(i)] = ug_filter_sv::CutoffEntry(i, kRate);
        for (int i = 0; i < ug_vca::kTableSize; ++i)
            expCurve[static_cast<size_t>(i)] = ug_vca::ExpTableEntry(i);
        limit = ug_filter_sv::LimitEntry(static_cast<int>(kResonance * 512.0f));
    }
    const float* Saw(uint32_t increment) const
    {
        for (const SharedOscWaveTable& slot : saw_)
        {
            if (increment < ug_oscillator2::Bound(slot.GetTable(), 1))
                return ug_oscillator2::Samples(slot.GetTable());
        }
        return ug_oscillator2::Samples(saw_.back().GetTable());
    }
    const float* Sine() const { return ug_oscillator2::Samples(sine_[0].GetTable()); }

    std::vector<float> cutoff = std::vector<float>(ug_filter_sv::kTableSize);
    std::vector<float> expCurve = std::vector<float>(ug_vca::kTableSize);
    float limit = 0.0f;

private:
    std::vector<SharedOscWaveTable> saw_;
    std::vector<SharedOscWaveTable> sine_;
};

const Tables& SharedTables()
{
    static const Tables tables;
    return tables;
}

// The envelope's linear segments: attack to 1, decay to the sustain level,
// release to 0, a whole number of samples each, ending on the target.
struct Envelope
{
    enum Segment { kAttack, kDecay, kSustain, kRelease, kIdle };

    void Start(Segment s)
    {
        segment = s;
        if (s == kSustain || s == kIdle)
        {
            rate = 0.0f;
            level = s == kSustain ? kSustainLevel : 0.0f;
            left = 0;
            return;
        }
        target = s == kAttack ? 1.0f : (s == kDecay ? kSustainLevel : 0.0f);
        const float volts = s == kAttack ? kAttackVolts : (s == kDecay ? kDecayVolts : kReleaseVolts);
        const float step = 1.0f / (kRate * ug_envelope_base::SegmentTime(volts * 0.1f));
        rate = target >= level ? step : -step;
        const double samples = static_cast<double>(target - level) / rate;
        left = samples >= 1.0 ? static_cast<int>(samples) : 1;
    }
    float Next()
    {
        if (left > 0)
        {
            level += rate;
            if (--left == 0)
            {
                level = target;
                Start(segment == kAttack ? kDecay : (segment == kDecay ? kSustain : kIdle));
            }
        }
        return level;
    }

    Segment segment = kIdle;
    float level = 0.0f;
    float rate = 0.0f;
    float target = 0.0f;
    int left = 0;
};

struct FusedVoice
{
    const float* saw = nullptr;
    uint32_t increment = 0;
    uint32_t phase1 = 0;
    uint32_t phase2 = 0;
    float velocity = 0.0f;
    Envelope amp;
    Envelope cutoff;
    float low = 0.0f;
    float band = 0.0f;
};

// The voice as one hand-written loop: LFO once per sample for all voices,
// then voice by voice every module's sample in turn, into one mix.
class FusedSynth
{
public:
    FusedSynth(int voices, bool moving) : voices_(static_cast<size_t>(voices)), moving_(moving)
    {
        const Tables& t = SharedTables();
        lfoIncrement_ = IncrementOfPitch(kLfoPitch);
        for (int v = 0; v < voices; ++v)
        {
            FusedVoice& voice = voices_[static_cast<size_t>(v)];
            voice.increment = IncrementOfPitch(PitchOfKey(KeyOfVoice(v)));
            voice.saw = t.Saw(voice.increment);
            voice.velocity = kVelocity / 127.0f;
            voice.amp.Start(Envelope::kAttack);
            voice.cutoff.Start(Envelope::kAttack);
        }
    }

    void Render(float* left, float* right, int count)
    {
        int done = 0;
        while (done < count)
        {
            int n = count - done;
            if (moving_)
            {
                const int64_t half = kTogglePeriod / 2;
                const int64_t toNext = half - clock_ % half;
                n = static_cast<int>(std::min<int64_t>(n, toNext));
            }
            RenderPiece(left + done, n);
            clock_ += n;
            done += n;
            if (moving_ && clock_ % (kTogglePeriod / 2) == 0 && (clock_ % kTogglePeriod != 0) != held_)
            {
                const bool on = !held_;
                held_ = on;
                for (FusedVoice& voice : voices_)
                {
                    voice.amp.Start(on ? Envelope::kAttack : Envelope::kRelease);
                    voice.cutoff.Start(on ? Envelope::kAttack : Envelope::kRelease);
                }
            }
        }
        std::copy(left, left + count, right);
    }

private:
    void RenderPiece(float* out, int count)
    {
        const Tables& t = SharedTables();
        const float* sine = t.Sine();
        const float* cutoffTable = t.cutoff.data();
        const float* curve = t.expCurve.data();
        const float limit = t.limit;
        const float q = ug_filter_sv::CalcQ(kResonance);
        float lfo[4096];
        float mix[4096];
        for (int s = 0; s < count; ++s)
        {
            lfo[s] = ReadTable(sine, lfoPhase_) * kLfoDepth;
            lfoPhase_ += lfoIncrement_;
            mix[s] = 0.0f;
        }
        for (FusedVoice& v : voices_)
        {
            uint32_t phase1 = v.phase1;
            uint32_t phase2 = v.phase2;
            float l = v.low;
            float b = v.band;
            for (int s = 0; s < count; ++s)
            {
                const float x = ReadTable(v.saw, phase1) + ReadTable(v.saw, phase2);
                phase1 += v.increment;
                phase2 += v.increment;

                const float pitch = v.cutoff.Next() + lfo[s];
                float factor;
                if (pitch >= 1.0f)
                {
                    factor = cutoffTable[512];
                }
                else if (pitch >= 0.0f)
                {
                    const float p = pitch * 512.0f;
                    const int i = static_cast<int>(p);
                    factor = cutoffTable[i] + (cutoffTable[i + 1] - cutoffTable[i]) * (p - static_cast<float>(i));
                }
                else
                {
                    factor = 440.0f * std::exp2f(pitch * 10.0f - 5.0f) * 6.2831855f / kRate;
                    factor = factor > 0.0f ? factor : 0.0f;
                }
                const float F = factor < limit ? factor : limit;
                l += F * b;
                const float h = std::min(1000.0f, std::max(-1000.0f, x)) - q * b - l;
                b += F * h;

                const float volume = v.amp.Next() * v.velocity * 400.0f;
                float gain;
                if (volume < 1200.0f)
                {
                    const int i = static_cast<int>(volume);
                    gain = curve[i] + (curve[i + 1] - curve[i]) * (volume - static_cast<float>(i));
                }
                else
                {
                    gain = curve[1200];
                }
                mix[s] += l * gain;
            }
            v.phase1 = phase1;
            v.phase2 = phase2;
            v.low = l;
            v.band = b;
        }
        for (int s = 0; s < count; ++s)
            out[s] = mix[s] * kMasterGain;
    }

    std::vector<FusedVoice> voices_;
    bool moving_;
    bool held_ = true;
    int64_t clock_ = 0;
    uint32_t lfoPhase_ = 0;
    uint32_t lfoIncrement_ = 0;
};

// The document through the engine, its notes played as MIDI at the same
// sample times as the fused loop's.
class EngineSynth
{
public:
    EngineSynth(int voices, int hostBlock, bool moving)
        : voices_(voices), hostBlock_(hostBlock), moving_(moving), left_(static_cast<size_t>(hostBlock)),
          right_(static_cast<size_t>(hostBlock))
    {
        runtime_ = std::make_unique<SynthRuntime>();
        if (!runtime_->initialize(kRate, hostBlock, VoiceDocument().c_str()))
        {
            runtime_.reset();
            return;
        }
        master_ = runtime_->AudioMaster();
        Notes(0, true);
    }
    bool Ok() const { return master_ != nullptr; }

    // Renders `count` samples in host blocks.
    void Render(int count)
    {
        for (int done = 0; done < count; done += hostBlock_)
            Block();
    }
    void Block()
    {
        if (moving_)
        {
            // Every toggle time in this block, the notes held from sample 0
            // first released at kTogglePeriod.
            const int64_t half = kTogglePeriod / 2;
            for (int64_t t = (clock_ + half - 1) / half * half; t < clock_ + hostBlock_; t += half)
            {
                const bool on = t % kTogglePeriod != 0;
                if (t > 0 && on != held_)
                {
                    held_ = on;
                    Notes(static_cast<int>(t - clock_), on);
                }
            }
        }
        float* outputs[2] = {left_.data(), right_.data()};
        master_->DoProcess(hostBlock_, nullptr, outputs, 0, 2);
        benchmark::DoNotOptimize(left_.data());
        clock_ += hostBlock_;
    }
    const std::vector<float>& Left() const { return left_; }

private:
    void Notes(int offset, bool on)
    {
        for (int v = 0; v < voices_; ++v)
        {
            const unsigned char bytes[3] = {static_cast<unsigned char>(on ? 0x90 : 0x80),
                                            static_cast<unsigned char>(KeyOfVoice(v)),
                                            static_cast<unsigned char>(on ? kVelocity : 0)};
            master_->MidiIn(offset, bytes, 3);
        }
    }

    std::unique_ptr<SynthRuntime> runtime_;
    KvAudioMaster* master_ = nullptr;
    int voices_;
    int hostBlock_;
    bool moving_;
    bool held_ = true;
    int64_t clock_ = 0;
    std::vector<float> left_;
    std::vector<float> right_;
};

using Clock = std::chrono::steady_clock;

template <class F>
double Seconds(F&& run)
{
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double NsPerVoiceSample(double seconds, double samples, int voices)
{
    return samples > 0.0 ? seconds * 1e9 / (samples * voices) : 0.0;
}

// Arguments: voices, host block, moving (1) or sustained (0).
void BM_VoiceEngine(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    const int hostBlock = static_cast<int>(state.range(1));
    EngineSynth engine(voices, hostBlock, state.range(2) != 0);
    if (!engine.Ok())
    {
        state.SkipWithError("the voice document did not build");
        return;
    }
    engine.Render(kSettleSamples);
    for (auto _ : state)
        engine.Block();
    const double samples = static_cast<double>(state.iterations()) * hostBlock * voices;
    state.counters["ns_per_voice_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Arguments: voices, moving (1) or sustained (0).
void BM_VoiceFused(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    constexpr int kBlock = 512;
    FusedSynth synth(voices, state.range(1) != 0);
    std::vector<float> left(kBlock), right(kBlock);
    for (int i = 0; i < kSettleSamples / kBlock; ++i)
        synth.Render(left.data(), right.data(), kBlock);
    for (auto _ : state)
    {
        synth.Render(left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
    }
    const double samples = static_cast<double>(state.iterations()) * kBlock * voices;
    state.counters["ns_per_voice_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// 32 voices in 512-sample host blocks, engine and fused loop block by block.
// Argument: moving (1) or sustained (0).
void BM_VoiceEngineOverFused(benchmark::State& state)
{
    constexpr int kVoices = 32;
    constexpr int kBlock = 512;
    const bool moving = state.range(0) != 0;
    EngineSynth engine(kVoices, kBlock, moving);
    if (!engine.Ok())
    {
        state.SkipWithError("the voice document did not build");
        return;
    }
    FusedSynth fused(kVoices, moving);
    std::vector<float> left(kBlock), right(kBlock);
    engine.Render(kSettleSamples);
    for (int i = 0; i < kSettleSamples / kBlock; ++i)
        fused.Render(left.data(), right.data(), kBlock);

    double engineSeconds = 0.0;
    double fusedSeconds = 0.0;
    for (auto _ : state)
    {
        engineSeconds += Seconds([&] { engine.Block(); });
        fusedSeconds += Seconds([&] {
            fused.Render(left.data(), right.data(), kBlock);
            benchmark::DoNotOptimize(left.data());
        });
    }
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    state.counters["engine_ns"] = NsPerVoiceSample(engineSeconds, samples, kVoices);
    state.counters["fused_ns"] = NsPerVoiceSample(fusedSeconds, samples, kVoices);
    state.counters["engine_over_fused"] = fusedSeconds > 0.0 ? engineSeconds / fusedSeconds : 0.0;
    if (std::fabs(engine.Left()[100]) + std::fabs(left[100]) == 0.0f)
        state.SkipWithError("silence");
}

// 32 sustained voices at host blocks of 16, 64, 512 and 4096 samples, each
// rendering the same 4096 samples per iteration; ratios against 512. The
// fused loop runs beside them at 16 and 512: with no module to visit, it is
// flat in the block size.
void BM_VoiceHostBlocks(benchmark::State& state)
{
    constexpr int kVoices = 32;
    constexpr int kSpan = 4096;
    const int sizes[4] = {16, 64, 512, 4096};
    std::vector<std::unique_ptr<EngineSynth>> engines;
    for (int size : sizes)
    {
        engines.push_back(std::make_unique<EngineSynth>(kVoices, size, false));
        if (!engines.back()->Ok())
        {
            state.SkipWithError("the voice document did not build");
            return;
        }
        engines.back()->Render(kSettleSamples);
    }
    const int fusedSizes[2] = {16, 512};
    std::vector<std::unique_ptr<FusedSynth>> fused;
    std::vector<float> left(kSpan), right(kSpan);
    for (int k = 0; k < 2; ++k)
    {
        fused.push_back(std::make_unique<FusedSynth>(kVoices, false));
        fused.back()->Render(left.data(), right.data(), kSpan);
    }
    auto renderFused = [&](FusedSynth& synth, int block) {
        for (int done = 0; done < kSpan; done += block)
            synth.Render(left.data() + done, right.data() + done, block);
        benchmark::DoNotOptimize(left.data());
    };
    double seconds[4] = {};
    double fusedSeconds[2] = {};
    for (auto _ : state)
    {
        for (int k = 0; k < 4; ++k)
            seconds[k] += Seconds([&] { engines[static_cast<size_t>(k)]->Render(kSpan); });
        for (int k = 0; k < 2; ++k)
            fusedSeconds[k] += Seconds([&] { renderFused(*fused[static_cast<size_t>(k)], fusedSizes[k]); });
    }
    const double samples = static_cast<double>(state.iterations()) * kSpan;
    for (int k = 0; k < 4; ++k)
    {
        const std::string size = std::to_string(sizes[k]);
        state.counters["ns_" + size] = NsPerVoiceSample(seconds[k], samples, kVoices);
        if (sizes[k] != 512)
            state.counters["ratio_" + size + "_over_512"] = seconds[2] > 0.0 ? seconds[k] / seconds[2] : 0.0;
    }
    state.counters["fused_16_over_512"] = fusedSeconds[1] > 0.0 ? fusedSeconds[0] / fusedSeconds[1] : 0.0;
    state.counters["engine_16_over_fused_16"] = fusedSeconds[0] > 0.0 ? seconds[0] / fusedSeconds[0] : 0.0;
}

// Sustained voices, 8 against 128, per voice; the fused loop beside them.
void BM_VoiceCounts(benchmark::State& state)
{
    constexpr int kBlock = 512;
    EngineSynth few(8, kBlock, false);
    EngineSynth many(128, kBlock, false);
    if (!few.Ok() || !many.Ok())
    {
        state.SkipWithError("the voice document did not build");
        return;
    }
    few.Render(kSettleSamples);
    many.Render(kSettleSamples);
    FusedSynth fusedFew(8, false);
    FusedSynth fusedMany(128, false);
    std::vector<float> left(kBlock), right(kBlock);
    double seconds[4] = {};
    for (auto _ : state)
    {
        // Sixteen blocks of the few voices for each of the many, so that
        // both take about the same share of the run.
        seconds[0] += Seconds([&] { few.Render(16 * kBlock); });
        seconds[1] += Seconds([&] { many.Block(); });
        seconds[2] += Seconds([&] {
            for (int i = 0; i < 16; ++i)
                fusedFew.Render(left.data(), right.data(), kBlock);
        });
        seconds[3] += Seconds([&] { fusedMany.Render(left.data(), right.data(), kBlock); });
        benchmark::DoNotOptimize(left.data());
    }
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    const double engine8 = NsPerVoiceSample(seconds[0], 16 * samples, 8);
    const double engine128 = NsPerVoiceSample(seconds[1], samples, 128);
    const double fused8 = NsPerVoiceSample(seconds[2], 16 * samples, 8);
    const double fused128 = NsPerVoiceSample(seconds[3], samples, 128);
    state.counters["engine_ns_8"] = engine8;
    state.counters["engine_ns_128"] = engine128;
    state.counters["engine_128_over_8"] = engine8 > 0.0 ? engine128 / engine8 : 0.0;
    state.counters["fused_128_over_8"] = fused8 > 0.0 ? fused128 / fused8 : 0.0;
}
} // namespace

BENCHMARK(BM_VoiceEngine)->Args({32, 512, 0})->Args({32, 512, 1})->Args({32, 16, 0})->Args({8, 512, 0})->Args({128, 512, 0});
BENCHMARK(BM_VoiceFused)->Args({32, 0})->Args({32, 1});
BENCHMARK(BM_VoiceEngineOverFused)->Arg(0)->Arg(1);
BENCHMARK(BM_VoiceHostBlocks);
BENCHMARK(BM_VoiceCounts);
