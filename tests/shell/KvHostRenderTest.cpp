// The headless host driving the test instrument in-process: sound, timing,
// parameters, MIDI mapping, messages, process context and state.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "ShellTestSupport.h"
#include "shell/testplugin/TestSineIds.h"
#include "tools/kvhost/NoteList.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/Renderer.h"

using namespace shell_test;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
struct Session
{
    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
};

Session Open(const InstanceSetup& setup = InstanceSetup())
{
    Session session;
    std::string error;
    session.module = PluginModule::Load(kTestSineBundle, error);
    EXPECT_TRUE(session.module) << error;
    if (session.module)
        session.instance = PluginInstance::Create(session.module, setup, error);
    EXPECT_TRUE(session.instance) << error;
    return session;
}

Performance Notes(const std::string& text)
{
    Performance performance;
    std::string error;
    EXPECT_TRUE(ParseNoteList(text, performance, error)) << error;
    return performance;
}

RenderResult Render(PluginInstance& instance, const Performance& performance, double seconds, CaptureSink& sink)
{
    RenderSettings settings;
    settings.seconds = seconds;
    RenderResult result;
    std::string error;
    Renderer renderer(instance);
    EXPECT_TRUE(renderer.render(performance, settings, &sink, result, error)) << error;
    return result;
}

// Amplitude of the component at `frequency` over samples [from, from + count).
double Amplitude(const std::vector<float>& samples, std::size_t from, std::size_t count, double frequency,
                 double sampleRate)
{
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < count; ++n)
        sum += static_cast<double>(samples[from + n]) *
               std::polar(1.0, -2.0 * std::numbers::pi * frequency * static_cast<double>(n) / sampleRate);
    return 2.0 * std::abs(sum) / static_cast<double>(count);
}

double Peak(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    double peak = 0.0;
    for (std::size_t i = from; i < to; ++i)
        peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
    return peak;
}
} // namespace

TEST(KvHostRender, ANoteSoundsAtItsPitchAndLevelWithBlocksThatDoNotDivideTheLength)
{
    InstanceSetup setup;
    setup.sampleRate = 48000.0;
    setup.maxBlockSize = 441;
    auto session = Open(setup);
    ASSERT_TRUE(session.instance);
    CaptureSink sink;
    const auto result = Render(*session.instance, Notes("0 note_on 69 127\n0 note_on 81 127\n"), 1.0, sink);

    ASSERT_EQ(result.frames, 48000);
    ASSERT_EQ(sink.channelCount(), 2u);
    ASSERT_EQ(sink.channel(0).size(), 48000u);
    EXPECT_EQ(sink.channel(0), sink.channel(1));
    // Each note: gain (0.5 by default) times velocity (1.0), at 440 * 2^((key - 69) / 12) Hz.
    const double gain = TestSine::kDefaultGain;
    EXPECT_NEAR(Amplitude(sink.channel(0), 0, 48000, 440.0, 48000.0), gain, 1e-3);
    EXPECT_NEAR(Amplitude(sink.channel(0), 0, 48000, 880.0, 48000.0), gain, 1e-3);
    EXPECT_LT(Amplitude(sink.channel(0), 0, 48000, 440.0 * std::pow(2.0, 1.0 / 12.0), 48000.0), 0.01);
    const double rms = std::sqrt(2.0 * gain * gain / 2.0);
    EXPECT_NEAR(result.rms, rms, 1e-3);
    EXPECT_LE(result.peak, 2.0 * gain + 1e-6);
}

TEST(KvHostRender, ANoteStartsAndStopsOnItsOwnSample)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    CaptureSink sink;
    // 0.25 s is sample 12000 at 48 kHz; 0.5 s is sample 24000. Blocks are 512.
    Render(*session.instance, Notes("0.25 note_on 69 127\n0.5 note_off 69\n"), 0.75, sink);
    const auto& out = sink.channel(0);
    EXPECT_EQ(Peak(out, 0, 12001), 0.0); // the sine starts at phase 0
    const double step = 2.0 * std::numbers::pi * 440.0 / 48000.0;
    EXPECT_NEAR(out[12001], 0.5 * std::sin(step), 1e-6);
    EXPECT_NEAR(out[23999], 0.5 * std::sin(step * 11999), 1e-4);
    EXPECT_EQ(Peak(out, 24000, out.size()), 0.0);
}

TEST(KvHostRender, LengthIsThePerformancePlusTheTailUnlessGiven)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    std::string error;
    RenderResult result;
    Renderer renderer(*session.instance);
    RenderSettings settings;
    settings.tailSeconds = 0.25;
    ASSERT_TRUE(renderer.render(Notes("0.5 note_on 60 100\nend 0.6\n"), settings, nullptr, result, error));
    EXPECT_EQ(result.frames, std::llround((0.6 + 0.25) * 48000));
    settings.seconds = 0.1;
    ASSERT_TRUE(renderer.render(Notes("0.5 note_on 60 100\n"), settings, nullptr, result, error));
    EXPECT_EQ(result.frames, 4800);
}

TEST(KvHostRender, ParameterChangesAndMappedControllersReachTheProcessor)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    CaptureSink sink;
    // Gain 0.5, then 1.0 from 0.5 s (sample 24000, inside a block of 512),
    // then MIDI volume 32 from 0.75 s through the controller's mapping.
    const auto result = Render(*session.instance,
                               Notes("0 note_on 69 127\n0.5 param 0 1.0\n0.75 cc 7 32\n0.8 cc 10 1\n"), 1.0, sink);
    const auto& out = sink.channel(0);
    EXPECT_NEAR(Peak(out, 0, 24000), 0.5, 1e-3);
    EXPECT_NEAR(Peak(out, 24000, 36000), 1.0, 1e-3);
    EXPECT_NEAR(Peak(out, 36000, 48000), 32.0 / 127.0, 1e-3);
    // The step falls exactly on the change's sample.
    const double step = 2.0 * std::numbers::pi * 440.0 / 48000.0;
    EXPECT_NEAR(out[23999], 0.5 * std::sin(step * 23999), 1e-4);
    EXPECT_NEAR(out[24000], 1.0 * std::sin(step * 24000), 1e-4);
    EXPECT_EQ(result.unmappedControllers, 1);
    EXPECT_NEAR(session.instance->controller()->getParamNormalized(TestSine::kGainId), 32.0 / 127.0, 1e-9);
}

TEST(KvHostRender, AProgramChangeWithoutAMappingGoesToTheParameterFlaggedAsTheProgramChange)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    Performance performance;
    PerformanceEvent program;
    program.seconds = 0.1;
    program.kind = PerformanceEvent::Kind::ProgramChange;
    program.number = 3;
    performance.events.push_back(program);
    CaptureSink sink;
    const auto result = Render(*session.instance, performance, 0.5, sink);
    EXPECT_EQ(result.unmappedControllers, 0);
    // Program 3 of a parameter with four steps.
    EXPECT_NEAR(session.instance->controller()->getParamNormalized(TestSine::kProgramId), 3.0 / 4.0, 1e-9);
}

TEST(KvHostRender, ControllerEditsArriveAtTheStartOfTheNextBlock)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    session.instance->componentHandler().performEdit(TestSine::kGainId, 0.25);
    CaptureSink sink;
    Render(*session.instance, Notes("0 note_on 69 127\n"), 0.1, sink);
    EXPECT_NEAR(Peak(sink.channel(0), 0, 4800), 0.25, 1e-3);
    EXPECT_EQ(session.instance->componentHandler().performEdit(TestSine::kGainId, 1.5), kInvalidArgument);
}

TEST(KvHostRender, MessagesPassBothWaysInEitherConnectionOrder)
{
    for (ConnectOrder order : {ConnectOrder::ProcessorFirst, ConnectOrder::ControllerFirst})
    {
        InstanceSetup setup;
        setup.connectOrder = order;
        auto session = Open(setup);
        ASSERT_TRUE(session.instance);
        CaptureSink sink;
        Render(*session.instance, Performance(), 0.01, sink);
        // Each side greets when connected and answers a greeting; the first
        // answer is lost because its sender is not yet connected back.
        IEditController* controller = session.instance->controller();
        const double atController = controller->getParamNormalized(TestSine::kControllerMessagesId) * 100.0;
        const double atProcessor = controller->getParamNormalized(TestSine::kProcessorMessagesId) * 100.0;
        EXPECT_GE(atController, 1.0);
        EXPECT_GE(atProcessor, 1.0);
        EXPECT_NEAR(atController + atProcessor, 3.0, 1e-9);
    }
}

TEST(KvHostRender, ProcessContextCarriesTheTempoThePluginAskedFor)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    EXPECT_EQ(session.instance->contextRequirements(),
              static_cast<uint32>(IProcessContextRequirements::kNeedTempo |
                                  IProcessContextRequirements::kNeedTransportState |
                                  IProcessContextRequirements::kNeedProjectTimeMusic));
    CaptureSink sink;
    Render(*session.instance, Notes("tempo 150\n"), 0.05, sink);
    EXPECT_NEAR(session.instance->controller()->getParamNormalized(TestSine::kTempoId), 0.150, 1e-9);
}

TEST(KvHostRender, StateSavedFromOneInstanceRestoresAnother)
{
    std::vector<char> saved;
    std::string error;
    {
        auto session = Open();
        ASSERT_TRUE(session.instance);
        CaptureSink sink;
        Render(*session.instance, Notes("0 param 0 0.8\n"), 0.02, sink);
        ASSERT_TRUE(session.instance->saveState(saved, error)) << error;
    }
    ASSERT_EQ(saved.size(), static_cast<std::size_t>(TestSine::kStateSize));

    auto session = Open();
    ASSERT_TRUE(session.instance);
    ASSERT_TRUE(session.instance->loadState(saved, error)) << error;
    EXPECT_NEAR(session.instance->controller()->getParamNormalized(TestSine::kGainId), 0.8, 1e-6);
    std::vector<char> again;
    ASSERT_TRUE(session.instance->saveState(again, error));
    EXPECT_EQ(again, saved);
    CaptureSink sink;
    Render(*session.instance, Notes("0 note_on 69 127\n"), 0.1, sink);
    EXPECT_NEAR(Peak(sink.channel(0), 0, 4800), 0.8, 1e-3);
}

TEST(KvHostRender, AStateThePluginRefusesIsReportedAndTheCurrentStateKept)
{
    auto session = Open();
    ASSERT_TRUE(session.instance);
    std::vector<char> before;
    std::string error;
    ASSERT_TRUE(session.instance->saveState(before, error));
    for (const std::string& garbage : {std::string(), std::string("KVTS"), std::string("XXXX\0\0\0\0", 8)})
    {
        EXPECT_FALSE(session.instance->loadState(std::vector<char>(garbage.begin(), garbage.end()), error));
        EXPECT_NE(error.find("setState"), std::string::npos);
    }
    std::vector<char> after;
    ASSERT_TRUE(session.instance->saveState(after, error));
    EXPECT_EQ(after, before);
}
