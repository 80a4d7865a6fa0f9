// Voices of a filtered patch (tests/patches/two_saw_voice.dsp.kv.xml: two
// saws into a state-variable low-pass swept by an envelope and an LFO) played
// together sound as the sum of the same notes played each alone: the voice
// copies of a module that share a call, and those cut out of it by an event
// of their own, each keep their own state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
const std::string kVoice = std::string(KV_TEST_DATA_DIR) + "/patches/two_saw_voice.dsp.kv.xml";

struct Note
{
    int64_t on;
    int64_t off;
    int key;
    int velocity;
};

// Struck together and apart, inside blocks and on their edges, released
// while the others hold, each at its own velocity: seven voices, so that
// copies run in fours and alone.
const Note kNotes[] = {
    {0, 30000, 40, 100}, {0, 20000, 52, 90}, {0, 40000, 59, 80}, {0, 40000, 64, 70},
    {37, 25000, 67, 60}, {300, 40000, 71, 110}, {512, 12000, 76, 120},
};
constexpr int64_t kLength = 44000;
const std::vector<int> kBlocks = {512, 100, 17, 333};
} // namespace

TEST(FilteredVoices, PlayedTogetherSoundAsTheSumOfEachNoteAlone)
{
    DemoSynthRig together(48000, kVoice);
    ASSERT_TRUE(together.built);
    std::vector<double> sum(static_cast<size_t>(kLength), 0.0);
    for (const Note& note : kNotes)
    {
        together.NoteOn(note.on, note.key, note.velocity);
        together.NoteOff(note.off, note.key);

        DemoSynthRig alone(48000, kVoice);
        ASSERT_TRUE(alone.built);
        alone.NoteOn(note.on, note.key, note.velocity);
        alone.NoteOff(note.off, note.key);
        alone.RunTo(kLength, kBlocks);
        for (size_t i = 0; i < sum.size(); ++i)
            sum[i] += alone.out[i];
    }
    together.RunTo(kLength, kBlocks);

    double peak = 0.0;
    double worst = 0.0;
    int64_t worstAt = -1;
    for (size_t i = 0; i < sum.size(); ++i)
    {
        peak = std::max(peak, std::fabs(sum[i]));
        const double error = std::fabs(together.out[i] - sum[i]);
        if (error > worst)
        {
            worst = error;
            worstAt = static_cast<int64_t>(i);
        }
    }
    EXPECT_GT(peak, 0.1);
    // Only the order of the voice sum's additions differs.
    EXPECT_LT(worst, 1e-5 * peak) << "at sample " << worstAt;
}

// More notes than voices (four, and three in reserve), each released while
// others start: voices are retired after their release and woken again for
// later notes, their filters carrying what they kept from their last note,
// and released voices are stolen. The host's block size changes nothing, to
// the bit.
TEST(FilteredVoices, VoicesReusedAfterReleaseSoundTheSameAtAnyHostBlockSize)
{
    std::string document = kvtest::ReadPatchFile(kVoice);
    const std::string poly = R"(Polyphonic="1" VoiceCount="128")";
    ASSERT_NE(document.find(poly), std::string::npos);
    document.replace(document.find(poly), poly.size(), R"(Polyphonic="1" VoiceCount="4")");

    constexpr int kReuseNotes = 90;
    constexpr int64_t kSpacing = 1100;
    constexpr int64_t kReuseLength = kReuseNotes * kSpacing + 30000;
    std::vector<float> reference;
    for (const int block : {1, 64, 512, 1000})
    {
        SCOPED_TRACE("host block " + std::to_string(block));
        DemoSynthRig rig(DemoSynthRig::Text{document}, 48000);
        ASSERT_TRUE(rig.built);
        for (int n = 0; n < kReuseNotes; ++n)
        {
            const int64_t on = n * kSpacing + (n % 7) * 37;
            const int key = 40 + (n * 5) % 37;
            rig.NoteOn(on, key, 60 + (n * 11) % 60);
            rig.NoteOff(on + 300 + (n % 5) * 900, key);
        }
        rig.RunTo(kReuseLength, {block});
        if (reference.empty())
        {
            reference = rig.out;
            EXPECT_GT(rig.Peak(0, kReuseLength), 0.1f);
            continue;
        }
        ASSERT_EQ(rig.out.size(), reference.size());
        int64_t first = -1;
        for (size_t i = 0; i < reference.size() && first < 0; ++i)
        {
            if (rig.out[i] != reference[i])
                first = static_cast<int64_t>(i);
        }
        EXPECT_EQ(first, -1);
    }
}
