// The demo bundle, built from its resource folder on this shell, loaded and
// played by the headless host as a DAW would.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

#include "ShellTestSupport.h"
#include "tools/kvhost/CommandLine.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/Renderer.h"

using namespace shell_test;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
const std::string kDemoBundle = KV_DEMO_BUNDLE;

struct DemoSession
{
    explicit DemoSession(const InstanceSetup& setup = InstanceSetup())
    {
        std::string error;
        module = PluginModule::Load(kDemoBundle, error);
        EXPECT_TRUE(module) << error;
        if (module)
            instance = PluginInstance::Create(module, setup, error);
        EXPECT_TRUE(instance) << error;
    }
    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
};

double Amplitude(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency,
                 double sampleRate)
{
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < count; ++n)
        sum += static_cast<double>(samples[from + n]) *
               std::polar(1.0, -2.0 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate);
    return 2.0 * std::abs(sum) / static_cast<double>(count);
}

std::string Narrow(const char16* text)
{
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}
} // namespace

TEST(ShellEndToEnd, TheHostSeesTheIdentityBusesAndParametersOfTheResourceFiles)
{
    for (ConnectOrder order : {ConnectOrder::ProcessorFirst, ConnectOrder::ControllerFirst})
    {
        InstanceSetup setup;
        setup.connectOrder = order;
        DemoSession session(setup);
        ASSERT_TRUE(session.instance);
        EXPECT_EQ(session.module->vendor(), "Korvane");
        ASSERT_EQ(session.module->classes().size(), 2u);
        EXPECT_EQ(session.module->classes()[0].subCategories, "Instrument|Synth");
        PluginInstance& instance = *session.instance;
        EXPECT_EQ(instance.outputChannels(), (std::vector<int32>{2}));
        EXPECT_TRUE(instance.inputChannels().empty());
        EXPECT_TRUE(instance.hasEventInput());

        IEditController* controller = instance.controller();
        ASSERT_NE(controller, nullptr);
        // Cutoff and Waveform; the text parameter has no host parameter; 130
        // MIDI ones, the program change and the bypass.
        ASSERT_EQ(controller->getParameterCount(), 134);
        ParameterInfo info{};
        controller->getParameterInfo(0, info);
        EXPECT_EQ(Narrow(info.title), "Cutoff");
        EXPECT_DOUBLE_EQ(controller->getParamNormalized(0), 0.6);
        controller->getParameterInfo(1, info);
        EXPECT_EQ(Narrow(info.title), "Waveform");
        EXPECT_EQ(info.stepCount, 2);
        EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.5);

        ParamID id = 0;
        EXPECT_TRUE(instance.mapMidiController(0, 7, id));
        EXPECT_EQ(id, 10007u);
        EXPECT_FALSE(instance.mapMidiController(0, 131, id));
    }
}

TEST(ShellEndToEnd, TheRenderedSawIsShapedByTheOnePoleLowPass)
{
    DemoSession session;
    ASSERT_TRUE(session.instance);
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = 1.0;
    RenderResult result;
    std::string error;
    Renderer renderer(*session.instance);
    ASSERT_TRUE(renderer.render(Performance(), settings, &sink, result, error)) << error;
    ASSERT_EQ(sink.channelCount(), 2u);
    EXPECT_EQ(sink.channel(0), sink.channel(1));
    EXPECT_GT(result.peak, 0.1);

    // A saw at 220 Hz (4 V) has harmonics of 1/n; the filter at 880 Hz (6 V)
    // scales each by 1 / sqrt(1 + (f / 880)^2). Compared over the settled half.
    const auto& out = sink.channel(0);
    const double rate = 48000.0;
    auto gain = [](double f) { return 1.0 / std::sqrt(1.0 + (f / 880.0) * (f / 880.0)); };
    const double first = Amplitude(out, 24000, 24000, 220.0, rate);
    ASSERT_GT(first, 0.05);
    for (int n : {2, 3, 4})
    {
        const double expected = (1.0 / n) * gain(220.0 * n) / gain(220.0);
        EXPECT_NEAR(Amplitude(out, 24000, 24000, 220.0 * n, rate) / first, expected, 0.02 * expected) << n;
    }
    // Nothing between the harmonics.
    EXPECT_LT(Amplitude(out, 24000, 24000, 330.0, rate), 0.01 * first);
}

TEST(ShellEndToEnd, TheHostCommandRendersTheDemoToAWavFileAndRestoresItsState)
{
    ScratchFolder scratch;
    const std::string wav = scratch.file("demo.wav");
    const std::string state = scratch.file("demo.state");
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunHostCommand({kDemoBundle, "--out", wav, "--seconds", "0.5", "--save-state", state}, out, err), 0)
        << err.str();
    EXPECT_NE(out.str().find("2 channels, 48000 Hz, 0.500 s"), std::string::npos) << out.str();
    // 44-byte header or more, then 0.5 s of two float channels.
    EXPECT_GE(ReadText(wav).size(), 24000u * 2 * 4);

    std::ostringstream again;
    EXPECT_EQ(RunHostCommand({kDemoBundle, "--load-state", state, "--seconds", "0.1"}, again, err), 0) << err.str();
    WriteText(state, "junk");
    EXPECT_NE(RunHostCommand({kDemoBundle, "--load-state", state, "--seconds", "0.1"}, again, err), 0);
}

TEST(ShellEndToEnd, TheDemosFullChordAtFullVelocityPeaksBelowMinusOneDbfsOnEveryWaveform)
{
    ScratchFolder scratch;
    const int waveforms = 7;
    for (int w = 0; w < waveforms; ++w)
    {
        // Six keys, the instrument's voices, struck together at velocity 127.
        std::ostringstream notes;
        notes << "0 param 0 " << w / (waveforms - 1.0) << "\n";
        for (int key : {48, 52, 55, 60, 64, 67})
            notes << "0.01 note_on " << key << " 127\n0.9 note_off " << key << "\n";
        WriteText(scratch.path() / "chord.notes", notes.str());
        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(RunHostCommand({kDemoBundle, "--notes", scratch.file("chord.notes"), "--out", scratch.file("c.wav")},
                                 out, err),
                  0)
            << err.str();
        const std::size_t at = out.str().find("peak ");
        ASSERT_NE(at, std::string::npos) << out.str();
        const double peakDb = std::stod(out.str().substr(at + 5));
        EXPECT_LT(peakDb, -1.0) << "waveform " << w << ": " << out.str();
        // Still an instrument that sounds.
        EXPECT_GT(peakDb, -20.0) << "waveform " << w << ": " << out.str();
    }
}
