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
        // The engine starts a piece at each note-on; a run of one note is
        // cut where the run of all of them is, so that both put their silent
        // voices to sleep at the same block ends.
        for (const Note& other : kNotes)
            alone.Master().CutAt(other.on);
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
