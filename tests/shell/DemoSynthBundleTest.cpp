// The demo instrument's bundle loaded and played by the headless host as a
// DAW plays it: notes and parameter changes as host events in blocks that do
// not divide the render, everything judged from the audio that comes out.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "DemoSynthSession.h"
#include "tools/kvhost/CommandLine.h"

using namespace demo_synth_test;

TEST(DemoSynthBundle, TheHostSeesAnInstrumentWithStereoOutputAndSixNamedParameters)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    EXPECT_EQ(session.module->vendor(), "Korvane");
    ASSERT_EQ(session.module->classes().size(), 2u);
    EXPECT_EQ(session.module->classes()[0].name, "Korvane Demo Synth");
    EXPECT_EQ(session.module->classes()[0].subCategories, "Instrument|Synth");
    EXPECT_EQ(session.instance->outputChannels(), (std::vector<int32>{2}));
    EXPECT_TRUE(session.instance->inputChannels().empty());
    EXPECT_TRUE(session.instance->hasEventInput());

    IEditController* controller = session.instance->controller();
    ASSERT_NE(controller, nullptr);
    // Six parameters, then the 130 standing for MIDI controllers, the program
    // change and the bypass.
    ASSERT_EQ(controller->getParameterCount(), 138);
    const char* names[6] = {"Waveform", "Attack", "Decay", "Sustain", "Release", "Volume"};
    // The patch's own settings, which are also what the host resets to: sine,
    // attack 0, decay 3, sustain 7, release 3, volume 1.6 (of 10).
    const double defaults[6] = {0.0, 0.0, 0.3, 0.7, 0.3, 0.16};
    for (int32 i = 0; i < 6; ++i)
    {
        ParameterInfo info{};
        ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, static_cast<ParamID>(i));
        EXPECT_EQ(Narrow(info.title), names[i]);
        EXPECT_NEAR(controller->getParamNormalized(info.id), defaults[i], 1e-7) << names[i];
        EXPECT_NEAR(info.defaultNormalizedValue, defaults[i], 1e-7) << names[i];
        EXPECT_NE(info.flags & ParameterInfo::kCanAutomate, 0) << names[i];
    }
    ParameterInfo waveform{};
    controller->getParameterInfo(0, waveform);
    EXPECT_EQ(waveform.stepCount, 6);
    String128 text{};
    ASSERT_EQ(controller->getParamStringByValue(kWaveform, 1.0 / 6.0, text), kResultOk);
    EXPECT_EQ(Narrow(text), "Saw");
}

TEST(DemoSynthBundle, KeySixtyNineSoundsAtFourHundredFortyHertz)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    const auto out = session.Play(Score().On(1000, 69).performance, 1.0);
    ASSERT_EQ(out.size(), 48000u);
    EXPECT_NEAR(MeasureFrequency(out, 10000, 48000), 440.0, 0.05);
    // All of its level is the 440 Hz sine: amplitude sqrt(2) times the RMS.
    EXPECT_NEAR(Amplitude(out, 12000, 36000, 440.0), std::sqrt(2.0) * Rms(out, 12000, 36000),
                0.01 * Rms(out, 12000, 36000));
    EXPECT_GT(Rms(out, 12000, 36000), 0.05);
}

TEST(DemoSynthBundle, TheSoundStartsThreeSamplesAfterTheNoteOnWhereverItFallsInAHostBlock)
{
    // The first sample of a block, its last, the middle of one and the first
    // samples after the engine's internal blocks.
    for (std::int64_t note : {std::int64_t{0}, std::int64_t{332}, std::int64_t{700}, std::int64_t{1024},
                              std::int64_t{2046}})
    {
        SynthSession session;
        ASSERT_TRUE(session.instance);
        const auto out = session.Play(Score().On(note, 69).performance, 0.1);
        const auto onset = static_cast<std::size_t>(note + 3);
        EXPECT_EQ(Peak(out, 0, onset), 0.0) << "note at " << note;
        EXPECT_NE(out[onset], 0.0f) << "note at " << note;
    }
}

TEST(DemoSynthBundle, VelocityScalesTheLevelInProportion)
{
    std::vector<double> levels;
    for (int velocity : {127, 64, 20})
    {
        SynthSession session;
        ASSERT_TRUE(session.instance);
        const auto out = session.Play(Score().On(200, 69, velocity).performance, 0.75);
        levels.push_back(Rms(out, 12000, 36000));
    }
    ASSERT_GT(levels[0], 0.05);
    EXPECT_NEAR(levels[1] / levels[0], 64.0 / 127.0, 0.01);
    EXPECT_NEAR(levels[2] / levels[0], 20.0 / 127.0, 0.01);
}

TEST(DemoSynthBundle, SixHeldKeysSoundAndASeventhTakesTheOldestKeysPlace)
{
    const int chord[6] = {48, 55, 60, 64, 67, 71};
    const int seventh = 74;
    Score score;
    for (int i = 0; i < 6; ++i)
        score.On(100 + 150 * i, chord[i]);
    score.On(30000, seventh);
    SynthSession session;
    ASSERT_TRUE(session.instance);
    const auto out = session.Play(score.performance, 1.25);

    const double solo = SoloAmplitude(60);
    ASSERT_GT(solo, 0.05);
    // Before the seventh key: all six at full level.
    for (int key : chord)
        EXPECT_NEAR(Amplitude(out, 6000, 24000, KeyHz(key)), solo, 0.05 * solo) << "key " << key;
    // After it: the oldest is gone, the other five sound on beside the new one.
    EXPECT_LT(Amplitude(out, 36000, 24000, KeyHz(chord[0])), 0.02 * solo);
    for (int i = 1; i < 6; ++i)
        EXPECT_NEAR(Amplitude(out, 36000, 24000, KeyHz(chord[i])), solo, 0.05 * solo) << "key " << chord[i];
    EXPECT_NEAR(Amplitude(out, 36000, 24000, KeyHz(seventh)), solo, 0.05 * solo);
}

TEST(DemoSynthBundle, AfterTheReleaseTheOutputReturnsToExactSilence)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    const auto out = session.Play(Score().On(500, 60).On(510, 64).Off(24000, 60).Off(24001, 64).performance, 1.5);
    ASSERT_EQ(out.size(), 72000u);
    EXPECT_GT(Rms(out, 10000, 24000), 0.05);
    // Release 3 V lasts about 79 ms: falling at first, then nothing at all.
    EXPECT_GT(Rms(out, 24000, 25000), Rms(out, 26000, 27000));
    EXPECT_EQ(Peak(out, 24000 + 24000, out.size()), 0.0);

    // A note after the silence plays as the first one did.
    const auto again = session.Play(Score().On(500, 60).performance, 0.5);
    EXPECT_NEAR(Amplitude(again, 6000, 12000, KeyHz(60)), Amplitude(out, 6000, 12000, KeyHz(60)),
                0.05 * Amplitude(out, 6000, 12000, KeyHz(60)));
}

TEST(DemoSynthBundle, TheDemoCommandPlaysThePhraseIntoAWavFileThatEndsInSilence)
{
    ScratchFolder scratch;
    const std::string wav = scratch.file("phrase.wav");
    std::ostringstream out, err;
    ASSERT_EQ(RunHostCommand({kSynthBundle, "--notes", KV_DEMO_SYNTH_PHRASE, "--out", wav, "--block", "333"}, out, err),
              0)
        << err.str();
    EXPECT_NE(out.str().find("2 channels, 48000 Hz"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("peak -"), std::string::npos) << out.str();
    EXPECT_TRUE(err.str().empty()) << err.str();

    // Interleaved 32-bit float samples follow the "data" chunk header.
    const std::string bytes = ReadText(wav);
    const auto data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data() + data + 4, sizeof size);
    ASSERT_LE(data + 8 + size, bytes.size());
    std::vector<float> samples(size / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * sizeof(float));
    ASSERT_GT(samples.size(), 4u * 48000 * 2);

    // It sounds, never clips, and the release dies away before the end.
    EXPECT_GT(Rms(samples, 0, 48000 * 2), 0.05);
    EXPECT_LT(Peak(samples, 0, samples.size()), 1.0);
    EXPECT_EQ(Peak(samples, samples.size() - 48000, samples.size()), 0.0);
}

TEST(DemoSynthBundle, KeySixtyNineIsFourHundredFortyHertzAtOtherRatesOfflineAndInEitherConnectionOrder)
{
    for (double rate : {44100.0, 96000.0})
    {
        InstanceSetup setup;
        setup.sampleRate = rate;
        setup.processMode = kOffline;
        setup.connectOrder = ConnectOrder::ControllerFirst;
        SynthSession session(setup);
        ASSERT_TRUE(session.instance);
        const auto out = session.Play(Score().On(1000, 69).performance, 1.0);
        const auto frames = static_cast<std::size_t>(rate);
        ASSERT_EQ(out.size(), frames);
        // Crossings counted in samples of this rate.
        EXPECT_NEAR(MeasureFrequency(out, frames / 4, frames) * rate / kRate, 440.0, 0.05) << rate << " Hz";
    }
}
