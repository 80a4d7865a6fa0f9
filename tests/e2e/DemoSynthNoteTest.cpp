// A MIDI note through the whole demo instrument: host MIDI in, the voice
// host controls, "Midi to CV", oscillator, envelope and amplifier, host out.
#include <gtest/gtest.h>

#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
const std::vector<int> kUnevenBlocks = {100, 37, 512, 3, 250};
}

TEST(DemoSynthNote, TheDocumentBuildsWithoutSkippingAnything)
{
    DemoSynthRig rig;
    ASSERT_TRUE(rig.built);
    EXPECT_TRUE(rig.Master().BuildMessages().empty());
    EXPECT_EQ(rig.Master().getNumOutputs(), 2);
}

TEST(DemoSynthNote, KeySixtyNineSoundsAtFourHundredFortyHertzOnBothOutputs)
{
    DemoSynthRig rig;
    ASSERT_TRUE(rig.built);
    rig.NoteOn(1000, 69);
    rig.RunTo(1000 + 48000, kUnevenBlocks);

    const double expected = kvtest::PitchToHz(kvtest::KeyPitch(69));
    ASSERT_NEAR(expected, 440.0, 1e-9);
    EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 10000, 49000, rig.sampleRate), expected, 0.05);
    EXPECT_GT(rig.Rms(10000, 49000), 0.05f);
    EXPECT_EQ(rig.out, rig.outRight);
}

TEST(DemoSynthNote, OtherKeysFollowOneVoltPerOctave)
{
    for (int key : {45, 60, 81})
    {
        DemoSynthRig rig;
        rig.NoteOn(500, key);
        rig.RunTo(500 + 30000, kUnevenBlocks);
        const double expected = kvtest::PitchToHz(kvtest::KeyPitch(key));
        EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 8000, 30500, rig.sampleRate), expected, expected * 2e-4)
            << "key " << key;
    }
}

TEST(DemoSynthNote, TheSoundStartsThreeSamplesAfterTheNoteOnWhereverTheNoteFallsInABlock)
{
    // Note times land at the start, the middle and the last sample of
    // host blocks, and across internal block boundaries.
    for (int64_t noteTime : {int64_t{0}, int64_t{99}, int64_t{137}, int64_t{649}, int64_t{1000}, int64_t{2046}})
    {
        DemoSynthRig rig;
        rig.NoteOn(noteTime, 69);
        rig.RunTo(noteTime + 2000, kUnevenBlocks);
        EXPECT_EQ(rig.Peak(0, noteTime + 3), 0.0f) << "note at " << noteTime;
        EXPECT_EQ(rig.Onset(0), noteTime + 3) << "note at " << noteTime;
    }
}

TEST(DemoSynthNote, VelocityScalesTheLevelInProportion)
{
    std::vector<float> levels;
    for (int velocity : {127, 90, 40})
    {
        DemoSynthRig rig;
        rig.NoteOn(200, 69, velocity);
        rig.RunTo(200 + 40000);
        levels.push_back(rig.Rms(20000, 40000));
    }
    ASSERT_GT(levels[0], 0.0f);
    EXPECT_NEAR(levels[1] / levels[0], 90.0 / 127.0, 0.01);
    EXPECT_NEAR(levels[2] / levels[0], 40.0 / 127.0, 0.01);
}

TEST(DemoSynthNote, HostBlocksThatDoNotDivideTheInternalBlockGiveTheSameSamples)
{
    DemoSynthRig even, uneven;
    for (DemoSynthRig* rig : {&even, &uneven})
    {
        rig->NoteOn(300, 60);
        rig->NoteOn(777, 64, 70);
        rig->NoteOff(5000, 60);
        rig->NoteOn(5001, 67, 120);
        rig->NoteOff(9000, 64);
        rig->NoteOff(9000, 67);
    }
    even.RunTo(20000, {128});
    uneven.RunTo(20000, {1, 127, 300, 45, 511, 7});
    ASSERT_EQ(even.out.size(), uneven.out.size());
    for (size_t i = 0; i < even.out.size(); ++i)
        ASSERT_NEAR(even.out[i], uneven.out[i], 1e-6f) << "sample " << i;
    EXPECT_GT(even.Rms(1000, 9000), 0.05f);
}

TEST(DemoSynthNote, TheVolumeParameterScalesTheOutput)
{
    DemoSynthRig loud, soft;
    soft.Parameter(0, 5, 0.2f); // volume 2 of 10
    for (DemoSynthRig* rig : {&loud, &soft})
    {
        rig->NoteOn(100, 69);
        rig->RunTo(30000);
    }
    // Volume 8 against 2 on the linear response.
    EXPECT_NEAR(soft.Rms(10000, 30000) / loud.Rms(10000, 30000), 2.0 / 8.0, 0.005);
}

TEST(DemoSynthNote, TheWaveformParameterChangesTheWaveButNotThePitch)
{
    DemoSynthRig sine, saw;
    saw.Master().setParameterNormalizedDsp(0, 0, 1.0f / 6.0f); // the second of seven items
    for (DemoSynthRig* rig : {&sine, &saw})
    {
        rig->NoteOn(100, 69);
        rig->RunTo(30000);
    }
    // A sine's peak is sqrt(2) times its RMS, a saw's sqrt(3) times.
    EXPECT_NEAR(sine.Peak(10000, 30000) / sine.Rms(10000, 30000), std::sqrt(2.0), 0.02);
    EXPECT_NEAR(saw.Peak(10000, 30000) / saw.Rms(10000, 30000), std::sqrt(3.0), 0.12);
    EXPECT_NEAR(kvtest::MeasureFrequency(saw.out, 10000, 30000, 48000), 440.0, 1.0);
}

TEST(DemoSynthNote, AHostParameterChangeTakesEffectAtItsSampleInsideABlock)
{
    DemoSynthRig steady, changed;
    for (DemoSynthRig* rig : {&steady, &changed})
        rig->NoteOn(100, 69);
    const int64_t when = 30000 + 77; // inside a host block and an internal one
    changed.Parameter(when, 5, 0.4f); // volume 8 V to 4 V
    steady.RunTo(40000, {512});
    changed.RunTo(40000, {512});
    for (int64_t i = 20000; i < when; ++i)
        ASSERT_EQ(changed.out[static_cast<size_t>(i)], steady.out[static_cast<size_t>(i)]) << "sample " << i;
    for (int64_t i = when; i < 40000; ++i)
        ASSERT_NEAR(changed.out[static_cast<size_t>(i)], 0.5f * steady.out[static_cast<size_t>(i)], 1e-6f)
            << "sample " << i;
}

TEST(DemoSynthNote, NotesInTheFirstHostBlockAreNotCutWhenThePatchSettlesItsDefaults)
{
    DemoSynthRig rig;
    rig.NoteOn(0, 60);
    rig.NoteOn(5, 64);
    rig.RunTo(48000, {512});
    const double c = kvtest::PitchToHz(kvtest::KeyPitch(60));
    const double e = kvtest::PitchToHz(kvtest::KeyPitch(64));
    EXPECT_GT(kvtest::ToneAmplitude(rig.out, 24000, 24000, c, rig.sampleRate), 0.2);
    EXPECT_GT(kvtest::ToneAmplitude(rig.out, 24000, 24000, e, rig.sampleRate), 0.2);
}
