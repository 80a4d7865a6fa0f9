// Channel controllers through the demo instrument: the pitch bender and the
// hold pedal reach every voice's "Midi to CV" through their host controls.
#include <gtest/gtest.h>

#include <tuple>

#include "engine/graph/ug_container.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

TEST(DemoSynthControllers, FullBendRaisesTheNoteByTheTwoSemitoneBendRange)
{
    for (const auto& [lsb, msb, semitones] :
         {std::tuple{0x7F, 0x7F, 2.0}, std::tuple{0x00, 0x00, -2.0}, std::tuple{0x00, 0x40, 0.0}})
    {
        DemoSynthRig rig;
        rig.NoteOn(100, 69);
        rig.Midi(5000, 0xE0, static_cast<unsigned char>(lsb), static_cast<unsigned char>(msb));
        rig.RunTo(40000, {100, 37});
        // The ends bend by the whole range; the centre, 0x2000, not at all.
        const double expected = 440.0 * std::pow(2.0, semitones / 12.0);
        EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 10000, 40000, rig.sampleRate), expected, 0.1)
            << "semitones " << semitones;
    }
}

TEST(DemoSynthControllers, TheHoldPedalKeepsAReleasedNoteSoundingUntilItIsLifted)
{
    DemoSynthRig rig;
    rig.NoteOn(100, 69);
    rig.Midi(1000, 0xB0, 64, 127);
    rig.NoteOff(5000, 69);
    rig.Midi(30000, 0xB0, 64, 0);
    rig.RunTo(60000, {100, 37});

    // Held by the pedal well past the release time of 79 ms ...
    const double level = kvtest::ToneAmplitude(rig.out, 6000, 24000, 440.0, rig.sampleRate);
    EXPECT_GT(level, 0.2);
    // ... and released when it is lifted.
    EXPECT_GT(rig.Peak(30000, 30004), 0.1f);
    EXPECT_EQ(rig.Peak(40000, 60000), 0.0f);
}

TEST(DemoSynthControllers, ThePedalHoldsOnlyKeysReleasedUnderItSoLaterNotesFindFreeVoices)
{
    // Six keys released, then the pedal goes down during their release
    // tails: they die away as usual and give their voices back, so a new
    // chord of six under the pedal starts whole on its own sample.
    DemoSynthRig rig;
    const int first[6] = {50, 57, 64, 71, 78, 85};
    const int second[6] = {48, 55, 62, 69, 76, 83};
    for (int key : first)
    {
        rig.NoteOn(100, key);
        rig.NoteOff(5000, key);
    }
    rig.Midi(5200, 0xB0, 64, 127);
    for (int key : second)
        rig.NoteOn(20000, key);
    rig.NoteOff(30000, second[0]);
    rig.Midi(40000, 0xB0, 64, 0);
    rig.RunTo(20100, {100, 37});
    // No key of the new chord waits for a voice.
    auto* voices = dynamic_cast<ug_container*>(rig.Master().HandleToObject(10));
    ASSERT_NE(voices, nullptr);
    for (int key : second)
    {
        EXPECT_FALSE(voices->HeldBack(key)) << "key " << key;
        ASSERT_NE(voices->GetVoiceOfKey(key), nullptr) << "key " << key;
        EXPECT_EQ(voices->GetVoiceOfKey(key)->state_, VS_ACTIVE) << "key " << key;
    }
    rig.RunTo(60000, {100, 37});

    EXPECT_EQ(rig.Peak(12000, 20003), 0.0f);
    EXPECT_NE(rig.out[20003], 0.0f);
    auto level = [&](int key, int64_t from, int n) {
        return kvtest::ToneAmplitude(rig.out, from, n, kvtest::PitchToHz(kvtest::KeyPitch(key)), rig.sampleRate);
    };
    // The higher keys are heard within their first ten milliseconds.
    for (int key : {second[3], second[4], second[5]})
        EXPECT_GT(level(key, 20003, 480), 0.1) << "key " << key;
    const double reference = level(second[1], 32000, 8000);
    ASSERT_GT(reference, 0.05);
    // The key released under the pedal sounds on until the pedal lifts.
    EXPECT_NEAR(level(second[0], 32000, 8000), reference, 0.05 * reference);
    EXPECT_LT(level(second[0], 50000, 8000), 0.05 * reference);
}
