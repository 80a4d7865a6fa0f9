// The demo instrument's host parameters and MIDI controllers, played through
// the headless host: what they do to the sound, what a saved session keeps,
// and values no host should send.
#include <gtest/gtest.h>

#include "DemoSynthSession.h"

using namespace demo_synth_test;

TEST(DemoSynthParameters, TheWaveformParameterTurnsTheSineIntoASawOfTheSamePitch)
{
    SynthSession sineSession, sawSession;
    ASSERT_TRUE(sineSession.instance && sawSession.instance);
    const auto sine = sineSession.Play(Score().On(100, 69).performance, 0.75);
    const auto saw = sawSession.Play(Score().Param(0, kWaveform, 1.0 / 6.0).On(100, 69).performance, 0.75);

    const double sineFirst = Amplitude(sine, 12000, 24000, 440.0);
    const double sawFirst = Amplitude(saw, 12000, 24000, 440.0);
    ASSERT_GT(sineFirst, 0.05);
    ASSERT_GT(sawFirst, 0.05);
    EXPECT_LT(Amplitude(sine, 12000, 24000, 880.0), 0.01 * sineFirst);
    // A saw's harmonics fall as 1/n.
    for (int n : {2, 3, 5})
        EXPECT_NEAR(Amplitude(saw, 12000, 24000, 440.0 * n) / sawFirst, 1.0 / n, 0.03 / n) << "harmonic " << n;
    EXPECT_NEAR(MeasureFrequency(saw, 12000, 36000), 440.0, 0.5);
}

TEST(DemoSynthParameters, TheVolumeParameterScalesTheLevelAndTakesEffectMidNote)
{
    SynthSession steady, changed;
    ASSERT_TRUE(steady.instance && changed.instance);
    const auto loud = steady.Play(Score().On(100, 69).performance, 1.0);
    // Volume 8 V to 2 V half-way through, at a sample inside a host block.
    const auto soft = changed.Play(Score().On(100, 69).Param(24100, kVolume, 0.2).performance, 1.0);
    for (std::size_t i = 0; i < 24100; ++i)
        ASSERT_EQ(soft[i], loud[i]) << "sample " << i;
    EXPECT_NEAR(Rms(soft, 24100, 48000) / Rms(loud, 24100, 48000), 2.0 / 8.0, 0.005);
}

TEST(DemoSynthParameters, ASavedSessionRestoresTheParametersAndTheSoundInANewInstance)
{
    SynthSession first;
    ASSERT_TRUE(first.instance);
    const std::pair<ParamID, double> changes[] = {{kWaveform, 3.0 / 6.0}, {kAttack, 0.1}, {kSustain, 0.5}, {kVolume, 0.4}};
    Score settings;
    for (const auto& [id, value] : changes)
        settings.Param(10, id, value);
    first.Play(settings.performance, 0.05);
    for (const auto& [id, value] : changes)
        EXPECT_NEAR(first.instance->controller()->getParamNormalized(id), value, 1e-6) << "parameter " << id;

    std::vector<char> state;
    std::string error;
    ASSERT_TRUE(first.instance->saveState(state, error)) << error;
    SynthSession second;
    ASSERT_TRUE(second.instance);
    ASSERT_TRUE(second.instance->loadState(state, error)) << error;
    for (const auto& [id, value] : changes)
        EXPECT_NEAR(second.instance->controller()->getParamNormalized(id), value, 1e-6) << "parameter " << id;

    // The same history for both, so voices and phases line up.
    second.Play(Performance(), 0.05);
    const Performance note = Score().On(100, 57).Off(20000, 57).performance;
    const auto original = first.Play(note, 0.75);
    const auto restored = second.Play(note, 0.75);
    ASSERT_EQ(original.size(), restored.size());
    for (std::size_t i = 0; i < original.size(); ++i)
        ASSERT_NEAR(restored[i], original[i], 1e-6f) << "sample " << i;
    // A triangle at volume 4 V sounds, and differs from the default sine.
    SynthSession fresh;
    ASSERT_TRUE(fresh.instance);
    const auto plain = fresh.Play(note, 0.75);
    EXPECT_GT(Rms(restored, 10000, 20000), 0.02);
    EXPECT_GT(std::fabs(Rms(restored, 10000, 20000) - Rms(plain, 10000, 20000)), 0.01);
}

TEST(DemoSynthParameters, HostParameterValuesOutsideZeroToOneGiveFiniteSoundOrSilence)
{
    const double bad[] = {std::nan(""), INFINITY, -INFINITY, 1e30, -1e30, 1.5, -0.5};
    for (ParamID id : {kWaveform, kAttack, kSustain, kVolume})
        for (double value : bad)
        {
            SynthSession session;
            ASSERT_TRUE(session.instance);
            const auto out = session.Play(Score().Param(50, id, value).On(100, 69).On(5000, 76).performance, 0.25);
            ASSERT_EQ(out.size(), 12000u);
            for (std::size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE(std::isfinite(out[i]) && std::fabs(out[i]) <= 4.0f)
                    << "parameter " << id << " value " << value << " sample " << i << ": " << out[i];
        }
}

TEST(DemoSynthParameters, ThePitchBenderAndHoldPedalReachTheVoicesThroughTheHostsControllerMapping)
{
    SynthSession bent;
    ASSERT_TRUE(bent.instance);
    // 129 is the pitch bender: full up is two semitones.
    const auto up = bent.Play(Score().On(100, 69).Controller(5000, 129, 1.0).performance, 1.0);
    EXPECT_NEAR(MeasureFrequency(up, 10000, 48000), 440.0 * std::exp2(2.0 / 12.0), 0.1);

    SynthSession held;
    ASSERT_TRUE(held.instance);
    const auto out =
        held.Play(Score().On(100, 69).Controller(1000, 64, 1.0).Off(5000, 69).Controller(30000, 64, 0.0).performance,
                  1.25);
    // Sounding long past the 79 ms release while the pedal is down, silent after it is lifted.
    EXPECT_GT(Amplitude(out, 6000, 24000, 440.0), 0.2);
    EXPECT_EQ(Peak(out, 40000, out.size()), 0.0);
}
