// Chords with more keys than the demo instrument has voices, struck at one
// sample: the keys that keep a voice sound from that sample, whatever falls
// to the stealing, and no key that lost its voice holds the others back.
#include <gtest/gtest.h>

#include "DemoSynthSession.h"

using namespace demo_synth_test;

TEST(DemoSynthChord, AChordLargerThanTheVoicesSoundsFromItsOwnSampleWithSixKeys)
{
    // Six voices sound at once (three more in reserve for stealing).
    const int sounding = 6;
    const double solo = SoloAmplitude(60);
    ASSERT_GT(solo, 0.05);
    for (int size : {10, 15, 24})
    {
        // The first sample of a host block, its last, and the middle of one.
        for (std::int64_t at : {std::int64_t{999}, std::int64_t{1331}, std::int64_t{2046}})
        {
            Score score;
            std::vector<int> keys;
            for (int i = 0; i < size; ++i)
            {
                keys.push_back(40 + 2 * i);
                score.On(at, keys.back());
            }
            SynthSession session;
            ASSERT_TRUE(session.instance);
            const auto out = session.Play(score.performance, 0.8);
            const auto onset = static_cast<std::size_t>(at + 3);
            EXPECT_EQ(Peak(out, 0, onset), 0.0) << size << " keys at " << at;
            EXPECT_NE(out[onset], 0.0f) << size << " keys at " << at;

            int heard = 0;
            for (int key : keys)
            {
                const double level = Amplitude(out, onset + 12000, 24000, KeyHz(key));
                if (level > 0.5 * solo)
                {
                    EXPECT_NEAR(level, solo, 0.1 * solo) << "key " << key;
                    ++heard;
                }
                else
                {
                    EXPECT_LT(level, 0.05 * solo) << "key " << key;
                }
            }
            EXPECT_EQ(heard, sounding) << size << " keys at " << at;
            // The newest key always has a voice.
            EXPECT_GT(Amplitude(out, onset + 12000, 24000, KeyHz(keys.back())), 0.5 * solo);
        }
    }
}
