// Program change and polyphonic pressure from a MIDI file reach the plug-in
// as a DAW passes them: pressure as poly-pressure events, program change
// through the controller's program-change parameter; both change the sound.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "ShellTestSupport.h"
#include "tools/kvhost/MidiFile.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/Renderer.h"

using namespace shell_test;

namespace
{
using Bytes = std::vector<unsigned char>;
constexpr double kRate = 48000.0;

void Append(Bytes& out, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        out.push_back(static_cast<unsigned char>(b));
}

// A format 0 file of 480 ticks a quarter at 120 bpm (960 ticks a second);
// `events` are delta-timed track events.
Bytes MidiFile(const Bytes& events)
{
    Bytes track;
    Append(track, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    track.insert(track.end(), events.begin(), events.end());
    Append(track, {0x00, 0xFF, 0x2F, 0x00});
    Bytes file;
    Append(file, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 480 >> 8, 480 & 0xFF});
    Append(file, {'M', 'T', 'r', 'k'});
    const auto size = static_cast<std::uint32_t>(track.size());
    Append(file, {int(size >> 24), int((size >> 16) & 0xFF), int((size >> 8) & 0xFF), int(size & 0xFF)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// Renders the file through the pressure synth; channel 0 of the output.
std::vector<float> Render(const Bytes& file, double seconds, RenderResult& result)
{
    Performance performance;
    std::string error;
    EXPECT_TRUE(ParseMidiFile(file.data(), file.size(), performance, error)) << error;
    auto module = PluginModule::Load(KV_PRESSURE_SYNTH_BUNDLE, error);
    EXPECT_TRUE(module) << error;
    InstanceSetup setup;
    setup.sampleRate = kRate;
    setup.maxBlockSize = 333;
    auto instance = module ? PluginInstance::Create(module, setup, error) : nullptr;
    EXPECT_TRUE(instance) << error;
    if (!instance)
        return {};
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = seconds;
    Renderer renderer(*instance);
    EXPECT_TRUE(renderer.render(performance, settings, &sink, result, error)) << error;
    return sink.channelCount() > 0 ? sink.channel(0) : std::vector<float>{};
}

double Rms(const std::vector<float>& audio, double from, double to)
{
    const auto first = static_cast<std::size_t>(from * kRate);
    const auto last = std::min(audio.size(), static_cast<std::size_t>(to * kRate));
    double sum = 0.0;
    for (std::size_t i = first; i < last; ++i)
        sum += static_cast<double>(audio[i]) * audio[i];
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0.0;
}
} // namespace

TEST(KvHostMidiMessages, PolyPressureOpensItsKeysVoiceAndProgramChangeSwitchesTheEnginesProgram)
{
    // Key 60 held from the start, pressed (poly pressure 127) at 0.25 s. Key
    // 64, held too, gets no pressure. Program 1 (all values 0) at 0.5 s, back
    // to 0 at 0.75 s.
    auto events = [](bool programs) {
        Bytes e;
        Append(e, {0x00, 0x90, 60, 100});
        Append(e, {0x00, 0x90, 64, 100});
        Append(e, {0x81, 0x70, 0xA0, 60, 127}); // +240 ticks: 0.25 s
        if (programs)
        {
            Append(e, {0x81, 0x70, 0xC0, 1});   // 0.5 s
            Append(e, {0x81, 0x70, 0xC0, 0});   // 0.75 s
        }
        return e;
    };
    RenderResult result;
    const std::vector<float> plain = Render(MidiFile(events(false)), 1.0, result);
    EXPECT_EQ(result.unmappedControllers, 0);
    const std::vector<float> switched = Render(MidiFile(events(true)), 1.0, result);
    EXPECT_EQ(result.unmappedControllers, 0);
    EXPECT_EQ(result.droppedNotes, 0);
    ASSERT_EQ(plain.size(), static_cast<std::size_t>(kRate));
    ASSERT_EQ(switched.size(), plain.size());

    // Silent until pressed: no key has pressure, so no voice is heard.
    EXPECT_LT(Rms(plain, 0.0, 0.24), 1e-6);
    EXPECT_GT(Rms(plain, 0.3, 0.5), 0.02);
    // Program 1 stores a volume of 0: silence once the engine switched...
    EXPECT_GT(Rms(switched, 0.3, 0.5), 0.02);
    EXPECT_LT(Rms(switched, 0.55, 0.75), 1e-6);
    // ...and program 0 brings the demo's volume back.
    EXPECT_GT(Rms(switched, 0.8, 1.0), 0.02);
}
