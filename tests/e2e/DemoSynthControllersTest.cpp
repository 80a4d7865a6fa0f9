// Channel controllers through the demo instrument: the pitch bender and the
// hold pedal reach every voice's "Midi to CV" through their host controls.
#include <gtest/gtest.h>

#include <tuple>

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
        // The normalised bend (lsb + 128 msb) / 16383 spans -1 to +1.
        const double bend = 2.0 * (lsb + 128.0 * msb) / 16383.0 - 1.0;
        const double expected = 440.0 * std::pow(2.0, 2.0 * bend / 12.0);
        EXPECT_NEAR(std::log2(expected / 440.0) * 12.0, semitones, 0.001);
        EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 10000, 40000, rig.sampleRate), expected, 0.1)
            << "bend " << bend;
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
