// The built-in controls in a real window, one road per kind through the
// demo instrument's editor: a knob dragged with the mouse changes the level,
// a waveform chosen from the list changes the spectrum; and text typed into
// a labelled text entry lands in the plug-in's saved state.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "EditorSession.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kDemoSynthBundle = KV_DEMO_SYNTH_BUNDLE;
const std::string kTextEntryBundle = KV_TEXT_ENTRY_BUNDLE;

// Where the demo's controls are (gui.kv.xml).
constexpr int kVolumeX = 434, kVolumeY = 84;
constexpr int kWaveformX = 81, kWaveformY = 94;

// Keeps the left channel of what was played.
class Capture : public AudioSink
{
public:
    bool write(const float* const* channels, int numChannels, int frames) override
    {
        if (numChannels > 0)
            samples.insert(samples.end(), channels[0], channels[0] + frames);
        return true;
    }
    std::vector<float> samples;
};

struct Heard
{
    double rms = 0.0;
    // Mean square of the sample-to-sample change over the mean square: low for
    // a sine, high for a saw's overtones.
    double brightness = 0.0;
};

// One note held for half a second.
Heard Play(PluginInstance& instance)
{
    Performance performance;
    PerformanceEvent on;
    on.kind = PerformanceEvent::Kind::NoteOn;
    on.number = 57;
    on.value = 0.8;
    PerformanceEvent off = on;
    off.kind = PerformanceEvent::Kind::NoteOff;
    off.seconds = 0.5;
    performance.events = {on, off};
    RenderSettings settings;
    settings.seconds = 0.5;
    Renderer renderer(instance);
    Capture capture;
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderer.render(performance, settings, &capture, result, error)) << error;
    Heard heard;
    heard.rms = result.rms;
    double power = 0.0, change = 0.0;
    for (std::size_t i = 1; i < capture.samples.size(); ++i)
    {
        power += double(capture.samples[i]) * capture.samples[i];
        const double d = double(capture.samples[i]) - capture.samples[i - 1];
        change += d * d;
    }
    heard.brightness = power > 0.0 ? change / power : 0.0;
    return heard;
}
} // namespace

TEST(BuiltInControlsWindow, DraggingTheVolumeKnobChangesTheLevel)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kDemoSynthBundle);
    const Heard before = Play(*session.instance);
    ASSERT_GT(before.rms, 0.001);

    // Sixty pixels up adds 0.3 to the volume (0.16 of its range): the
    // linear master gain grows almost threefold.
    std::string error;
    ASSERT_TRUE(session.window->play({EditorAction::drag(kVolumeX, kVolumeY, kVolumeX, kVolumeY - 60)}, error))
        << error;
    session.window->settle();
    EXPECT_NEAR(session.param(5), 0.46, 0.01);
    const Heard after = Play(*session.instance);
    EXPECT_NEAR(after.rms / before.rms, 0.46 / 0.16, 0.2);
    session.window->close();
}

TEST(BuiltInControlsWindow, ChoosingAWaveformFromTheListChangesTheSpectrum)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kDemoSynthBundle);
    const Heard sine = Play(*session.instance);

    // The list pops up under itself: one down from Sine is Saw.
    std::string error;
    ASSERT_TRUE(session.window->play({EditorAction::click(kWaveformX, kWaveformY), EditorAction::key("Down"),
                                      EditorAction::key("Return")},
                                     error))
        << error;
    session.window->settle();
    EXPECT_NEAR(session.param(0), 1.0 / 6.0, 1e-6);
    const Heard saw = Play(*session.instance);
    EXPECT_GT(saw.brightness, sine.brightness * 4.0);
    session.window->close();
}

TEST(BuiltInControlsWindow, TextTypedIntoATextEntryIsInTheSavedState)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTextEntryBundle);
    std::vector<char> state;
    std::string error;
    ASSERT_TRUE(session.instance->saveState(state, error)) << error;
    EXPECT_EQ(std::string(state.begin(), state.end()).find("Zürich"), std::string::npos);

    // The edit lies under the title label.
    ASSERT_TRUE(session.window->play({EditorAction::click(100, 44), EditorAction::type("Zürich"),
                                      EditorAction::key("Return")},
                                     error))
        << error;
    session.window->settle();
    // The engine takes editor values a few times a second, while it plays.
    Play(*session.instance);
    ASSERT_TRUE(session.instance->saveState(state, error)) << error;
    EXPECT_NE(std::string(state.begin(), state.end()).find("Zürich"), std::string::npos);
    session.window->close();
}
