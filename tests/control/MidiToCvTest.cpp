// "Midi to CV": gate, pitch, velocity and aftertouch from the voice host controls.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "control/MidiToCvRig.h"

using kvtest::MidiToCvRig;

namespace
{
constexpr double kRate = 44100.0;

double CubicStep(double from, double to, int k, int n)
{
    const double t = static_cast<double>(k) / n;
    return from + (to - from) * (3 * t * t - 2 * t * t * t);
}
} // namespace

TEST(MidiToCv, TheGateRisesThreeSamplesAfterTheNoteAndFallsThreeAfterTheKeyIsReleased)
{
    MidiToCvRig rig;
    rig.NoteOn(10, 5.0f, 8.0f);
    rig.NoteOff(50);
    rig.RunTo(300);
    EXPECT_EQ(rig.Gate()[12], 0.0f);
    EXPECT_EQ(rig.Gate()[13], 1.0f);
    EXPECT_EQ(rig.Gate()[52], 1.0f);
    EXPECT_EQ(rig.Gate()[53], 0.0f);
    // 5 V is 440 Hz; a fresh voice takes its velocity at once.
    EXPECT_FLOAT_EQ(rig.Pitch()[10], 0.5f);
    EXPECT_FLOAT_EQ(rig.Velocity()[10], 0.8f);
}

TEST(MidiToCv, ANewNoteRestartsTheGateWhenPolyphonicOrRetriggeringButNotWhenMonoLegato)
{
    enum Kind { POLY, MONO_RETRIGGER, MONO_LEGATO };
    for (Kind kind : {POLY, MONO_RETRIGGER, MONO_LEGATO})
    {
        MidiToCvRig rig;
        if (kind != POLY)
            rig.Mono(kind == MONO_RETRIGGER);
        rig.NoteOn(10, 5.0f);
        rig.NoteOn(60, 5.5f);
        rig.RunTo(200);
        for (int t = 60; t < 63; ++t)
            EXPECT_EQ(rig.Gate()[static_cast<size_t>(t)], kind == MONO_LEGATO ? 1.0f : 0.0f) << kind << " " << t;
        EXPECT_EQ(rig.Gate()[63], 1.0f) << kind;
        EXPECT_FLOAT_EQ(rig.Pitch()[60], 0.55f) << kind;
    }
}

TEST(MidiToCv, MonoGlideAtConstantTimeCoversAnyIntervalInThePortamentoTime)
{
    const float portamento = 0.5f;
    const double seconds = std::exp2(10.0 * portamento - 8.0 - 2.0 / 3.0);
    EXPECT_NEAR(ug_midi_to_cv::GlideSeconds(portamento), seconds, 1e-9);
    MidiToCvRig rig(portamento);
    rig.Mono(false);
    rig.NoteOn(0, 5.0f);
    rig.NoteOn(100, 7.0f);
    const auto length = static_cast<int>(kRate * seconds);
    rig.RunTo(100 + length + 500);
    // The first note sounds no earlier one: it takes its pitch at once.
    EXPECT_FLOAT_EQ(rig.Pitch()[50], 0.5f);
    for (int k : {1, length / 4, length / 2, length - 10})
        EXPECT_NEAR(rig.Pitch()[static_cast<size_t>(99 + k)], 0.5 + 0.2 * k / (kRate * seconds), 1e-4) << k;
    EXPECT_FLOAT_EQ(rig.Pitch().back(), 0.7f);
}

TEST(MidiToCv, ConstantRateGlidesOneOctavePerPortamentoTime)
{
    const float portamento = 0.4f;
    const double seconds = ug_midi_to_cv::GlideSeconds(portamento);
    MidiToCvRig rig(portamento);
    rig.Mono(false);
    rig.SetEnum(0, ug_midi_to_cv::PN_PORTAMENTO_RATE, 1);
    // The first note glides one octave up from where a new voice rests (5 V).
    rig.NoteOn(0, 6.0f);
    const double perSample = 0.1 / (kRate * seconds);
    const auto octave = static_cast<int>(0.1 / perSample);
    rig.RunTo(4000);
    EXPECT_NEAR(rig.Pitch()[static_cast<size_t>(octave / 2)], 0.55, 1e-3);
    EXPECT_FLOAT_EQ(rig.Pitch()[static_cast<size_t>(octave + 5)], 0.6f);

    rig.NoteOn(4000, 4.0f); // two octaves down: twice the time
    const int length = 2 * octave;
    rig.RunTo(4000 + length + 500);
    EXPECT_NEAR(rig.Pitch()[static_cast<size_t>(3999 + length / 2)], 0.6 - perSample * (length / 2), 1e-4);
    EXPECT_GT(rig.Pitch()[static_cast<size_t>(3999 + length - 20)], 0.4f);
    EXPECT_FLOAT_EQ(rig.Pitch().back(), 0.4f);
    EXPECT_EQ(rig.module->getVoiceAllocationMode() & ug_notesource::VAM_CONSTANT_RATE_GLIDE,
              ug_notesource::VAM_CONSTANT_RATE_GLIDE);
}

TEST(MidiToCv, AutoGlideJumpsWhenNoNoteSoundsAndAZeroPortamentoTimeAlwaysJumps)
{
    MidiToCvRig rig(0.5f);
    rig.Mono(false);
    rig.SetEnum(0, ug_midi_to_cv::PN_AUTO_GLIDE, 1);
    rig.NoteOn(0, 5.0f);
    rig.NoteOff(50);
    rig.NoteOn(200, 7.0f);
    rig.RunTo(300);
    EXPECT_FLOAT_EQ(rig.Pitch()[200], 0.7f);

    rig.portamento->HoldConstant(0.0f);
    rig.NoteOn(400, 3.0f);
    rig.RunTo(500);
    EXPECT_FLOAT_EQ(rig.Pitch()[400], 0.3f);
}

TEST(MidiToCv, FullBendWithRangeTwelveMovesOneOctaveInASixtiethOfASecond)
{
    MidiToCvRig rig;
    rig.SetEnum(0, ug_midi_to_cv::PN_BEND_RANGE, 12);
    rig.NoteOn(0, 5.0f);
    rig.SetFloat(100, ug_midi_to_cv::PN_BENDER, 1.0f);
    const int length = static_cast<int>(kRate / 60);
    rig.RunTo(100 + length + 200);
    EXPECT_NEAR(rig.Pitch()[static_cast<size_t>(99 + length / 2)], 0.5 + 0.1 * (length / 2) / (kRate / 60), 1e-5);
    EXPECT_FLOAT_EQ(rig.Pitch()[static_cast<size_t>(100 + length)], 0.6f);
    // A smaller range rescales the bend held.
    rig.SetEnum(rig.graph.master.SampleClock(), ug_midi_to_cv::PN_BEND_RANGE, 2);
    rig.RunTo(rig.graph.master.SampleClock() + 2000);
    EXPECT_NEAR(rig.Pitch().back(), 0.5f + 2.0f / 120.0f, 1e-6f);
}

TEST(MidiToCv, VelocityIsSmoothedByHowFarItMovesExceptOnAFreshVoiceAndAftertouchOverFourSamples)
{
    MidiToCvRig rig;
    rig.NoteOn(0, 5.0f, 0.0f);
    rig.NoteOn(100, 5.0f, 10.0f);
    rig.NoteOn(400, 5.0f, 10.0f);
    rig.RunTo(600);
    const int n = 120; // a change of 1.0 (10 V)
    for (int k : {1, 30, 60, 90, n})
        EXPECT_NEAR(rig.Velocity()[static_cast<size_t>(99 + k)], CubicStep(0.0, 1.0, k, n), 1e-4) << k;
    EXPECT_FLOAT_EQ(rig.Velocity()[450], 1.0f);

    // Re-activation makes the voice fresh again.
    rig.SetFloat(600, ug_midi_to_cv::PN_VOICE_ACTIVE, 1.0f);
    rig.NoteOn(600, 5.0f, 2.0f);
    // Aftertouch moves linearly over four samples.
    rig.SetFloat(620, ug_midi_to_cv::PN_VOICE_AFTERTOUCH, 10.0f);
    rig.RunTo(700);
    EXPECT_FLOAT_EQ(rig.Velocity()[600], 0.2f);
    EXPECT_EQ(rig.Aftertouch()[619], 0.0f);
    EXPECT_FLOAT_EQ(rig.Aftertouch()[620], 0.25f);
    EXPECT_FLOAT_EQ(rig.Aftertouch()[623], 1.0f);
}

TEST(MidiToCv, TheGateFollowsVoiceGateWhichTheContainerHoldsUnderThePedal)
{
    // The pedal pin alone holds nothing: the container keeps "Voice/Gate" up
    // for a key released under the pedal, and drops it when the pedal lifts.
    MidiToCvRig rig;
    rig.SetFloat(0, ug_midi_to_cv::PN_HOLD_PEDAL, 10.0f);
    rig.NoteOn(10, 5.0f);
    rig.NoteOff(200);
    rig.RunTo(300);
    EXPECT_EQ(rig.Gate()[150], 1.0f);
    EXPECT_EQ(rig.Gate()[202], 1.0f);
    EXPECT_EQ(rig.Gate()[203], 0.0f);

    // The pedal lifts before the gate has risen: it rises, then falls.
    MidiToCvRig early;
    early.SetFloat(0, ug_midi_to_cv::PN_HOLD_PEDAL, 10.0f);
    early.NoteOn(10, 5.0f);
    early.NoteOff(12);
    early.RunTo(100);
    EXPECT_EQ(early.Gate()[13], 1.0f);
    EXPECT_EQ(early.Gate()[15], 0.0f);
    EXPECT_EQ(early.Gate()[99], 0.0f);
}

TEST(MidiToCv, NonFiniteOrHugeControlsGiveFiniteBoundedOutputs)
{
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
    for (float value : bad)
    {
        MidiToCvRig rig(value);
        rig.Mono(false);
        rig.NoteOn(0, 5.0f, value);
        rig.NoteOn(50, value, value);
        rig.SetFloat(60, ug_midi_to_cv::PN_BENDER, value);
        rig.SetFloat(70, ug_midi_to_cv::PN_VOICE_AFTERTOUCH, value);
        rig.SetFloat(80, ug_midi_to_cv::PN_VOICE_PITCH, value);
        rig.RunTo(3000);
        for (const auto* out : {&rig.Gate(), &rig.Pitch(), &rig.Velocity(), &rig.Aftertouch()})
        {
            for (float s : *out)
            {
                ASSERT_TRUE(std::isfinite(s)) << value;
                ASSERT_LE(std::fabs(s), 2.2f) << value;
            }
        }
    }
}

TEST(MidiToCv, SleepsWhenEveryOutputHasSettledAndWakesForTheNextNote)
{
    MidiToCvRig rig;
    rig.NoteOn(0, 5.0f);
    rig.RunTo(96 * 6);
    EXPECT_TRUE(rig.module->sleeping_);
    rig.NoteOn(rig.graph.master.SampleClock() + 5, 6.0f);
    rig.RunTo(rig.graph.master.SampleClock() + 96);
    EXPECT_FALSE(rig.module->sleeping_);
    EXPECT_FLOAT_EQ(rig.Pitch().back(), 0.6f);
}
