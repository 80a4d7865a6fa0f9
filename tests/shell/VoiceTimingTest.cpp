// Voices driven through the VST3 interfaces from a bundle written from the
// document formats alone (tests/patches/KvVoiceModes: two voices and three in
// reserve, the allocation choices as host parameters; the audio, the voices'
// gate and their pitch on three outputs). A mono patch that returns to a
// held key plays it on, and a note that steals a voice changes nothing
// before its sample, whatever the host's block size.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "DemoSynthSession.h"

namespace
{
using namespace demo_synth_test;

const std::string kBundle = KV_VOICE_MODES_BUNDLE;
// Host parameters: lists of two, four and two items.
constexpr ParamID kMono = 0;
constexpr ParamID kRetrigger = 1;
constexpr ParamID kPriority = 2;
constexpr ParamID kSteal = 3;
enum Priority
{
    kOff,
    kLow,
    kHigh,
    kLast
};

struct Output
{
    std::vector<float> audio;
    std::vector<float> gate;
    std::vector<float> pitch;
};

// The allocation choices, then the notes: the retrigger choice first, as the
// module takes it into its mode only when one of the others changes.
Score Choices(bool mono, bool retrigger, Priority priority, bool hardSteal)
{
    Score score;
    score.Param(0, kRetrigger, retrigger ? 1.0 : 0.0);
    score.Param(8, kMono, mono ? 1.0 : 0.0);
    score.Param(8, kPriority, static_cast<int>(priority) / 3.0);
    score.Param(8, kSteal, hardSteal ? 1.0 : 0.0);
    return score;
}

Output Render(const Score& score, int32 block, std::int64_t frames)
{
    Output out;
    InstanceSetup setup;
    setup.sampleRate = kRate;
    setup.maxBlockSize = block;
    std::string error;
    auto module = PluginModule::Load(kBundle, error);
    EXPECT_TRUE(module) << error;
    if (!module)
        return out;
    auto instance = PluginInstance::Create(module, setup, error);
    EXPECT_TRUE(instance) << error;
    if (!instance)
        return out;
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = static_cast<double>(frames) / kRate;
    RenderResult result;
    Renderer renderer(*instance);
    EXPECT_TRUE(renderer.render(score.performance, settings, &sink, result, error)) << error;
    EXPECT_EQ(sink.channelCount(), 3u);
    if (sink.channelCount() != 3)
        return out;
    out.audio = sink.channel(0);
    out.gate = sink.channel(1);
    out.pitch = sink.channel(2);
    return out;
}

float KeyPitch(int key)
{
    return 0.5f + static_cast<float>(key - 69) / 120.0f;
}

// The first sample from `from` on where the two differ, or -1.
std::int64_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b, std::size_t from = 0)
{
    for (std::size_t i = from; i < std::min(a.size(), b.size()); ++i)
    {
        if (a[i] != b[i])
            return static_cast<std::int64_t>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<std::int64_t>(std::min(a.size(), b.size()));
}
} // namespace

// Hold one key, play the key that wins under the priority, release it: the
// voice goes back to the held key with its gate up (dipped for 3 samples with
// retrigger, as at every retriggered note), glides back to its pitch and
// sounds on.
TEST(VoiceTiming, AMonoReturnPlaysTheHeldKeyWithItsGateUpOrDippedForTheRetrigger)
{
    struct Case
    {
        Priority priority;
        bool retrigger;
        int held;
        int top;
    };
    const Case cases[] = {
        {kLast, false, 69, 81}, {kLast, true, 69, 81}, {kHigh, false, 69, 81},
        {kHigh, true, 69, 81},  {kLow, false, 81, 69}, {kLow, true, 81, 69},
    };
    constexpr std::int64_t kHeldOn = 1000;
    constexpr std::int64_t kTopOn = 5000;
    constexpr std::int64_t kReturn = 10000;
    constexpr std::int64_t kFrames = 24000;
    // The gate rises 3 samples after the note that raises it.
    constexpr std::int64_t kGateDelay = 3;
    constexpr std::int64_t kSettled = 500;

    std::vector<Output> references;
    for (const int32 block : {1, 64, 512, 1000})
    {
        for (std::size_t k = 0; k < std::size(cases); ++k)
        {
            const Case& c = cases[k];
            SCOPED_TRACE("block " + std::to_string(block) + ", priority " + std::to_string(c.priority) +
                         (c.retrigger ? ", retrigger" : ", legato"));
            Score score = Choices(true, c.retrigger, c.priority, false);
            score.On(kHeldOn, c.held).On(kTopOn, c.top).Off(kReturn, c.top);
            const Output out = Render(score, block, kFrames);
            ASSERT_EQ(out.gate.size(), static_cast<std::size_t>(kFrames));

            // From when the voice's fade-in at the first note is over.
            for (std::int64_t t = kHeldOn + kSettled; t < kFrames; ++t)
            {
                const bool dip = c.retrigger && ((t >= kTopOn && t < kTopOn + kGateDelay) ||
                                                 (t >= kReturn && t < kReturn + kGateDelay));
                const float expected = dip ? 0.0f : 1.0f;
                ASSERT_EQ(out.gate[static_cast<std::size_t>(t)], expected) << "gate at sample " << t;
            }

            // The top key's pitch before the return; then a glide back to the held key's.
            EXPECT_NEAR(out.pitch[kReturn - 1], KeyPitch(c.top), 1e-5f);
            const float midway = out.pitch[kReturn + 200];
            EXPECT_GT(std::fabs(midway - KeyPitch(c.top)), 1e-3f);
            EXPECT_GT(std::fabs(midway - KeyPitch(c.held)), 1e-3f);
            EXPECT_NEAR(out.pitch[kFrames - 1], KeyPitch(c.held), 1e-5f);

            // The held key sounds on at its own pitch, not released.
            const double before = Rms(out.audio, 2000, 4000);
            EXPECT_GT(before, 0.05);
            EXPECT_GT(Rms(out.audio, kFrames - 2000, kFrames), 0.5 * before);
            EXPECT_NEAR(MeasureFrequency(out.audio, 14000, kFrames), KeyHz(c.held), 0.01 * KeyHz(c.held));

            // The glides, retriggers and returns sound the same, sample for
            // sample, at every host block size.
            if (references.size() < std::size(cases))
            {
                references.push_back(out);
                continue;
            }
            EXPECT_EQ(FirstDifference(out.audio, references[k].audio), -1);
            EXPECT_EQ(FirstDifference(out.gate, references[k].gate), -1);
            EXPECT_EQ(FirstDifference(out.pitch, references[k].pitch), -1);
        }
    }
}

// Two keys sound on both voices; a third note steals one (in soft steal the
// oldest held voice, or the voice still ringing with a released key when
// that key comes again; in hard steal the same, or the voice of a repeated
// key), while three voices wait in reserve. With and without that note the
// output is the same up to its sample, and it changes from that very sample
// at every host block size; the voices' gate and pitch are the same at every
// host block size.
TEST(VoiceTiming, ANoteThatStealsAVoiceChangesNothingBeforeItsSampleAtAnyHostBlockSize)
{
    struct Case
    {
        const char* name;
        bool hardSteal;
        int key;
        // The first key is released this long before the note, or held.
        std::int64_t releasedBefore;
    };
    const Case cases[] = {
        {"soft steal, new key", false, 67, 0},
        {"soft steal, released key again", false, 60, 1230},
        {"hard steal, new key", true, 67, 0},
        {"hard steal, released key again", true, 60, 1230},
    };
    constexpr std::int64_t kNote = 13230;
    constexpr std::int64_t kFrames = 18000;
    const std::vector<float> Output::*channels[] = {&Output::audio, &Output::gate, &Output::pitch};

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Score held = Choices(false, false, kLast, c.hardSteal);
        held.On(1000, 60).On(2000, 64);
        if (c.releasedBefore > 0)
            held.Off(kNote - c.releasedBefore, 60);
        Score stealing = held;
        stealing.On(kNote, c.key);

        std::vector<std::int64_t> firstChange;
        Output reference;
        for (const int32 block : {1, 64, 512, 1000})
        {
            SCOPED_TRACE("block " + std::to_string(block));
            const Output without = Render(held, block, kFrames);
            const Output with = Render(stealing, block, kFrames);
            ASSERT_EQ(with.audio.size(), static_cast<std::size_t>(kFrames));
            ASSERT_EQ(without.audio.size(), static_cast<std::size_t>(kFrames));

            std::vector<std::int64_t> changes;
            for (const auto channel : channels)
            {
                const std::int64_t first = FirstDifference(with.*channel, without.*channel);
                EXPECT_TRUE(first == -1 || first >= kNote) << "changed at sample " << first;
                changes.push_back(first);
            }
            // The note is heard from its sample on.
            EXPECT_GE(changes[0], kNote);
            EXPECT_LT(changes[0], kNote + 8);

            if (firstChange.empty())
            {
                firstChange = changes;
                reference = with;
                continue;
            }
            // Audio and gate. (A released voice that is not played again
            // leaves its pitch when it is put to sleep, after it has fallen
            // silent: at a block's end.)
            EXPECT_EQ(changes[0], firstChange[0]);
            EXPECT_EQ(changes[1], firstChange[1]);
            EXPECT_EQ(FirstDifference(with.audio, reference.audio), -1);
            EXPECT_EQ(FirstDifference(without.audio, Render(held, 1, kFrames).audio), -1);
            EXPECT_EQ(FirstDifference(with.gate, reference.gate), -1);
            EXPECT_EQ(FirstDifference(with.pitch, reference.pitch), -1);
        }
    }
}
