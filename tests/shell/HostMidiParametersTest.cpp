// MIDI a host passes through the controller's MIDI mapping (the parameters
// of controllers, pressure and bend) and its program changes, to a fresh
// instance of a bundle written from the document formats alone
// (tests/patches/KvMidiParameters: two voices' summed gate and pitch on two
// outputs, pitch bend, its range as RPN 0, three programs).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoSynthSession.h"

namespace
{
using namespace demo_synth_test;

constexpr std::int64_t kFrames = 18000;
constexpr ParamID kProgramChange = 10130;

// The gate and pitch outputs of a fresh instance playing the score, as a DAW plays it.
std::vector<std::vector<float>> Render(const Score& score)
{
    InstanceSetup setup;
    setup.maxBlockSize = kBlock;
    std::string error;
    auto module = PluginModule::Load(KV_MIDI_PARAMETERS_BUNDLE, error);
    auto instance = module ? PluginInstance::Create(module, setup, error) : nullptr;
    EXPECT_TRUE(instance) << error;
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = static_cast<double>(kFrames) / kRate;
    RenderResult result;
    EXPECT_TRUE(instance && Renderer(*instance).render(score.performance, settings, &sink, result, error)) << error;
    EXPECT_EQ(result.unmappedControllers, 0);
    if (sink.channelCount() != 2)
        return {{}, {}};
    return {sink.channel(0), sink.channel(1)};
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

TEST(HostMidiParameters, ControllersAndProgramChangesActAsTheNotesTheyMeanOnAFreshInstance)
{
    // Each case is played twice: as the host sends it, and with its meaning
    // spelled out in notes (a note-off at its sample for each key an
    // all-notes-off ends, the key a bend reaches, no program change at all):
    // the gate (output 0), or the pitch (output 1) once the bend has glided,
    // agrees sample for sample from `from` on, and falls as often as the
    // case ends notes. Each controller's value, 0, is its parameter's
    // default, and the second all-notes-off repeats the first.
    struct Case
    {
        const char* name;
        Score played;
        Score meant;
        std::size_t output;
        std::size_t from;
        std::size_t releases;
    };
    // Data entry MSB 12 for RPN 0: a range of 12 semitones, full bend an octave.
    const Case cases[] = {
        {"all notes off, twice",
         Score().On(1000, 69).Controller(5000, 123, 0.0).On(9000, 72).Controller(13000, 123, 0.0),
         Score().On(1000, 69).Off(5000, 69).On(9000, 72).Off(13000, 72), 0, 0, 2},
        {"all sound off, twice",
         Score().On(1000, 69).On(1000, 76).Controller(5000, 120, 0.0).On(9000, 72).Controller(13000, 120, 0.0),
         Score().On(1000, 69).On(1000, 76).Off(5000, 69).Off(5000, 76).On(9000, 72).Off(13000, 72), 0, 0, 2},
        {"RPN 0 selected, then data entry",
         Score().On(1000, 69).Controller(2000, 129, 1.0).Controller(3000, 101, 0.0).Controller(3001, 100, 0.0)
             .Controller(3002, 6, 12 / 127.0),
         Score().On(1000, 81), 1, 9000, 0},
        // Held keys across program changes, the second in the note-off's own block.
        {"a program change while a key is held",
         Score().On(1000, 69).Param(3000, kProgramChange, 0.5).Off(6000, 69).On(8000, 72)
             .Param(12000, kProgramChange, 1.0).Off(12100, 72),
         Score().On(1000, 69).Off(6000, 69).On(8000, 72).Off(12100, 72), 0, 0, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto played = Render(c.played);
        const auto meant = Render(c.meant);
        ASSERT_EQ(played[c.output].size(), static_cast<std::size_t>(kFrames));
        ASSERT_EQ(meant[c.output].size(), played[c.output].size());
        std::size_t differing = 0;
        for (std::size_t i = c.from; i < played[c.output].size(); ++i)
            differing += std::fabs(played[c.output][i] - meant[c.output][i]) > 1e-6f ? 1 : 0;
        EXPECT_EQ(differing, 0u);
        EXPECT_EQ(Falls(played[0]), Falls(meant[0]));
        EXPECT_EQ(Falls(played[0]).size(), c.releases);
    }
}
