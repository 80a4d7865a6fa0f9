// The editor in a host whose UI thread runs GLib's main loop (as GTK and Qt
// hosts do), in a real window: the host's own 20 ms timer keeps running
// while the demo's Presets menu, its Waveform list or a text box is open, the
// choice made still reaches the parameter, and the host may close the editor
// from its timer while a menu is open, leaving nothing behind.

#include <gtest/gtest.h>

#include <cmath>

#include "EditorSession.h"
#include "GlibHost.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kDemoSynthBundle = KV_DEMO_SYNTH_BUNDLE;
const std::string kOutsiderBundle = KV_OUTSIDER_BUNDLE;

// The demo's preset menu and waveform list, KvOutsider's text entry box (gui.kv.xml).
constexpr int kPresetsX = 426, kPresetsY = 17;
constexpr int kWaveformX = 81, kWaveformY = 94;
constexpr int kNameX = 225, kNameY = 112;
constexpr Steinberg::Vst::ParamID kWaveform = 0;
constexpr unsigned long kTicks = GlibHost::kOpenTicks;
constexpr double kMostSeconds = GlibHost::kMostOpenSeconds;
} // namespace

TEST(GlibHostWindow, TheHostsTimerRunsWhileTheDemosMenusAreOpenTheChoiceReachesTheParameterAndTheHostMayClose)
{
    GlibHost host;
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(host, kDemoSynthBundle);
    auto& input = *host.input;
    double presetsSeconds = 0, listSeconds = 0, afterSeconds = 0;
    const auto shown = [&host] { return host.menuShown(); };
    const auto open = [&host] { return host.menuOpen(); };
    const auto closed = [&host] { return !host.menuOpen(); };
    std::string failed;
    host.steps.run({host.shown(),
                    {"", [] { return true; }, [&] { input.click(kPresetsX, kPresetsY); }},
                    host.steps.startCounting("the Presets menu shows", shown),
                    host.steps.count("the host's timer ticks while the Presets menu is open", kTicks, presetsSeconds),
                    {"the Presets menu stays open", open, [&] { input.key("Escape"); }},
                    {"Escape closes the Presets menu", closed, [&] { input.click(kWaveformX, kWaveformY); }},
                    host.steps.startCounting("the Waveform list shows", shown),
                    host.steps.count("the host's timer ticks while the Waveform list is open", kTicks, listSeconds),
                    {"the Waveform list stays open", open,
                     [&] {
                         input.key("Down");
                         input.key("Return");
                     }},
                    {"Saw, chosen in the list, reaches the parameter",
                     [&] { return closed() && std::fabs(host.session.param(kWaveform) - 1.0 / 6.0) < 1e-6; },
                     [&] {
                         host.session.instance->componentHandler().takeEdits();
                         input.click(kWaveformX, kWaveformY);
                     }},
                    // The host closes the editor from its timer while the list is open.
                    {"the Waveform list shows again", shown, [&] { host.session.window->close(); }},
                    host.steps.startCounting("", [] { return true; }),
                    host.steps.count("the loop goes on after the close", 5, afterSeconds)},
                   failed);
    EXPECT_TRUE(failed.empty()) << failed;
    EXPECT_LE(presetsSeconds, kMostSeconds);
    EXPECT_LE(listSeconds, kMostSeconds);
    // Nothing is left: no window, no source, no edit.
    EXPECT_EQ(host.loop.sourceCount(), 0u);
    EXPECT_TRUE(OverrideRedirectWindows(host.user).empty());
    EXPECT_EQ(ViewableTopLevels(host.user), 0);
    EXPECT_TRUE(host.session.instance->componentHandler().takeEdits().empty());
}

TEST(GlibHostWindow, TheHostsTimerRunsWhileATextBoxIsOpenAndTheTextReachesThePlugIn)
{
    GlibHost host;
    KV_OPEN_IN_GLIB_HOST_OR_SKIP(host, kOutsiderBundle);
    auto& input = *host.input;
    double seconds = 0;
    unsigned long before = 0;
    std::string failed;
    host.steps.run({host.shown(),
                    {"", [] { return true; },
                     [&] {
                         before = host.focus();
                         input.click(kNameX, kNameY);
                     }},
                    host.steps.startCounting("the text box opens",
                                             [&] { return host.focus() != before && host.focus() > PointerRoot; }),
                    host.steps.count("the host's timer ticks while the text box is open", kTicks, seconds),
                    {"the text box stays open", [&] { return host.focus() != before; },
                     [&] {
                         input.type("glib");
                         input.key("Return");
                     }},
                    {"Return closes the text box", [&] { return host.focus() == before; }, {}}},
                   failed);
    EXPECT_TRUE(failed.empty()) << failed;
    EXPECT_LE(seconds, kMostSeconds);

    // The engine takes the editor's text as it plays.
    Performance nothing;
    RenderSettings settings;
    settings.seconds = 0.3;
    Renderer renderer(*host.session.instance);
    RenderResult result;
    std::string error;
    ASSERT_TRUE(renderer.render(nothing, settings, nullptr, result, error)) << error;
    std::vector<char> state;
    ASSERT_TRUE(host.session.instance->saveState(state, error)) << error;
    EXPECT_NE(std::string(state.begin(), state.end()).find("glib"), std::string::npos);
    host.session.window->close();
}
