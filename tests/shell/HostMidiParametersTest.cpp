// MIDI a host passes through the controller's MIDI mapping (the parameters
// of controllers, pressure and bend), to a fresh instance of a bundle written
// from the document formats alone (tests/patches/KvMidiParameters: two
// voices' summed gate and pitch on two outputs, pitch bend, and its range as
// RPN 0). Each value acts as its message, also when it repeats the one
// before or equals the parameter's default.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoSynthSession.h"

namespace
{
using namespace demo_synth_test;

const std::string kBundle = KV_MIDI_PARAMETERS_BUNDLE;
constexpr std::int64_t kFrames = 18000;
// The controller numbers of the host's MIDI mapping for pitch bend.
constexpr int kBendController = 129;

struct Output
{
    std::vector<float> gate;
    std::vector<float> pitch;
};

// The score played by a fresh instance, as a DAW plays it.
Output Render(const Score& score)
{
    Output out;
    InstanceSetup setup;
    setup.sampleRate = kRate;
    setup.maxBlockSize = kBlock;
    std::string error;
    auto module = PluginModule::Load(kBundle, error);
    EXPECT_TRUE(module) << error;
    auto instance = module ? PluginInstance::Create(module, setup, error) : nullptr;
    EXPECT_TRUE(instance) << error;
    if (!instance)
        return out;
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = static_cast<double>(kFrames) / kRate;
    RenderResult result;
    Renderer renderer(*instance);
    EXPECT_TRUE(renderer.render(score.performance, settings, &sink, result, error)) << error;
    EXPECT_EQ(result.unmappedControllers, 0);
    EXPECT_EQ(sink.channelCount(), 2u);
    if (sink.channelCount() == 2)
        out = {sink.channel(0), sink.channel(1)};
    return out;
}

// The samples where the gate falls from high to 0.
std::vector<std::int64_t> Falls(const std::vector<float>& gate)
{
    std::vector<std::int64_t> falls;
    for (std::size_t i = 1; i < gate.size(); ++i)
        if (gate[i - 1] > 0.0f && gate[i] == 0.0f)
            falls.push_back(static_cast<std::int64_t>(i));
    return falls;
}
} // namespace

TEST(HostMidiParameters, ChannelModeMessagesRpnSelectionAndRepeatedValuesActOnAFreshInstance)
{
    // Each case is played twice: with its controllers, and with their meaning
    // spelled out in notes (a note-off at its sample for each key an
    // all-notes-off ends, the key a bend reaches): the gate, or the pitch once
    // the bend has glided, agrees from `from` on, and the gate falls as often
    // as the case ends notes. The value of each controller, 0, is its
    // parameter's default, and the all-notes-off repeats it.
    struct Case
    {
        const char* name;
        Score played;
        Score meant;
        bool pitch;
        std::int64_t from;
        std::size_t releases;
    };
    // Data entry MSB 12 for RPN 0: a range of 12 semitones, full bend an octave.
    const Case cases[] = {
        {"all notes off, twice",
         Score().On(1000, 69).Controller(5000, 123, 0.0).On(9000, 72).Controller(13000, 123, 0.0),
         Score().On(1000, 69).Off(5000, 69).On(9000, 72).Off(13000, 72), false, 0, 2},
        {"all sound off, twice",
         Score().On(1000, 69).On(1000, 76).Controller(5000, 120, 0.0).On(9000, 72).Controller(13000, 120, 0.0),
         Score().On(1000, 69).On(1000, 76).Off(5000, 69).Off(5000, 76).On(9000, 72).Off(13000, 72), false, 0, 2},
        {"RPN 0 selected, then data entry",
         Score()
             .On(1000, 69)
             .Controller(2000, kBendController, 1.0)
             .Controller(3000, 101, 0.0)
             .Controller(3001, 100, 0.0)
             .Controller(3002, 6, 12 / 127.0),
         Score().On(1000, 81), true, 9000, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Output played = Render(c.played);
        const Output meant = Render(c.meant);
        ASSERT_EQ(played.gate.size(), static_cast<std::size_t>(kFrames));
        ASSERT_EQ(meant.gate.size(), played.gate.size());
        const std::vector<float>& got = c.pitch ? played.pitch : played.gate;
        const std::vector<float>& expected = c.pitch ? meant.pitch : meant.gate;
        std::int64_t differing = 0;
        std::int64_t first = -1;
        for (auto i = static_cast<std::size_t>(c.from); i < got.size(); ++i)
        {
            const bool differs = std::fabs(got[i] - expected[i]) > 1e-6f;
            if (differs && first < 0)
                first = static_cast<std::int64_t>(i);
            differing += differs;
        }
        EXPECT_EQ(differing, 0) << "first at " << first;
        EXPECT_EQ(Falls(played.gate), Falls(meant.gate));
        EXPECT_EQ(Falls(played.gate).size(), c.releases);
    }
}
