#pragma once
// The demo instrument's bundle in the headless host: an instance set up as a
// DAW sets it up, performances written in samples, and the measurements the
// tests judge the rendered audio by.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/Renderer.h"

namespace demo_synth_test
{
using namespace shell_test;
using namespace Steinberg;
using namespace Steinberg::Vst;

inline const std::string kSynthBundle = KV_DEMO_SYNTH_BUNDLE;
constexpr double kRate = 48000.0;
// 48000 is no multiple of it, so every render ends on a short block.
constexpr int32 kBlock = 333;

// Host parameter ids of the instrument.
constexpr ParamID kWaveform = 0;
constexpr ParamID kAttack = 1;
constexpr ParamID kSustain = 3;
constexpr ParamID kVolume = 5;
// The volume of the demo's phrase, normalised.
constexpr double kPhraseVolume = 0.8;

struct SynthSession
{
    explicit SynthSession(InstanceSetup setup = InstanceSetup(), int32 block = kBlock)
    {
        setup.maxBlockSize = block;
        std::string error;
        module = PluginModule::Load(kSynthBundle, error);
        EXPECT_TRUE(module) << error;
        if (module)
            instance = PluginInstance::Create(module, setup, error);
        EXPECT_TRUE(instance) << error;
    }

    // Renders `seconds` of the performance; channel 0 of the output. It
    // starts at the volume of the demo's phrase (8), above the instrument's
    // default, which leaves room for all its voices at once; the
    // performance's own changes come after.
    std::vector<float> Play(const Performance& given, double seconds)
    {
        Performance performance = given;
        PerformanceEvent loud;
        loud.kind = PerformanceEvent::Kind::Parameter;
        loud.parameterId = kVolume;
        loud.value = kPhraseVolume;
        performance.events.insert(performance.events.begin(), loud);
        CaptureSink sink;
        RenderSettings settings;
        settings.seconds = seconds;
        RenderResult result;
        std::string error;
        Renderer renderer(*instance);
        EXPECT_TRUE(renderer.render(performance, settings, &sink, result, error)) << error;
        EXPECT_EQ(sink.channelCount(), 2u);
        if (sink.channelCount() != 2)
            return {};
        EXPECT_EQ(sink.channel(0), sink.channel(1));
        return sink.channel(0);
    }

    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
};

// A performance built event by event; times in samples, so they are exact.
struct Score
{
    Score& On(std::int64_t sample, int key, int velocity = 100)
    {
        Add(sample, PerformanceEvent::Kind::NoteOn, key, velocity / 127.0);
        return *this;
    }
    Score& Off(std::int64_t sample, int key)
    {
        Add(sample, PerformanceEvent::Kind::NoteOff, key, 64 / 127.0);
        return *this;
    }
    Score& Param(std::int64_t sample, ParamID id, double value)
    {
        Add(sample, PerformanceEvent::Kind::Parameter, 0, value, id);
        return *this;
    }
    Score& Controller(std::int64_t sample, int number, double value)
    {
        Add(sample, PerformanceEvent::Kind::Controller, number, value);
        return *this;
    }
    void Add(std::int64_t sample, PerformanceEvent::Kind kind, int number, double value, ParamID id = 0)
    {
        PerformanceEvent event;
        event.seconds = static_cast<double>(sample) / kRate;
        event.kind = kind;
        event.number = number;
        event.value = value;
        event.parameterId = id;
        performance.events.push_back(event);
        performance.sortByTime();
    }
    Performance performance;
};

inline double KeyHz(int key)
{
    return 440.0 * std::exp2((key - 69) / 12.0);
}

// Amplitude of the component at `frequency` over samples [from, from + count).
inline double Amplitude(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency)
{
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < count; ++n)
        sum += static_cast<double>(samples[from + n]) *
               std::polar(1.0, -2.0 * std::numbers::pi * frequency * static_cast<double>(n) / kRate);
    return 2.0 * std::abs(sum) / static_cast<double>(count);
}

inline double Rms(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

inline double Peak(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    double peak = 0.0;
    for (std::size_t i = from; i < to; ++i)
        peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
    return peak;
}

// Frequency from the first and last rising zero crossings in [from, to),
// placed between samples by linear interpolation.
inline double MeasureFrequency(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
    {
        const double a = samples[i - 1];
        const double b = samples[i];
        if (a < 0.0 && b >= 0.0)
        {
            const double at = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0.0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * kRate / (last - first);
}

inline std::string Narrow(const char16* text)
{
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}

// Amplitude of one key played alone, in its sustain.
inline double SoloAmplitude(int key)
{
    SynthSession session;
    if (!session.instance)
        return 0.0;
    const auto out = session.Play(Score().On(100, key).performance, 0.75);
    return Amplitude(out, 12000, 24000, KeyHz(key));
}
} // namespace demo_synth_test
