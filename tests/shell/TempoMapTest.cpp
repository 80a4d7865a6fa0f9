#include "tools/kvhost/TempoMap.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Steinberg::Vst;

TEST(TempoMap, SecondsAndQuartersFollowEachTempoSegment)
{
    TempoMap map(120.0);
    // 120 bpm for 4 quarters (2 s), then 60 bpm.
    ASSERT_TRUE(map.setTempo(4.0, 60.0));
    EXPECT_DOUBLE_EQ(map.secondsAt(2.0), 1.0);
    EXPECT_DOUBLE_EQ(map.secondsAt(4.0), 2.0);
    EXPECT_DOUBLE_EQ(map.secondsAt(6.0), 2.0 + 2.0 * 60.0 / 60.0);
    EXPECT_DOUBLE_EQ(map.quartersAt(3.0), 4.0 + 1.0);
    EXPECT_DOUBLE_EQ(map.quartersAt(1.5), 3.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(1.9), 120.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(2.1), 60.0);
}

TEST(TempoMap, ChangesMayArriveInAnyOrderAndTheLastAtAPlaceWins)
{
    TempoMap map(100.0);
    map.setTempo(8.0, 200.0);
    map.setTempo(4.0, 50.0);
    map.setTempo(4.0, 60.0);
    // 4 quarters at 100 bpm, 4 at 60, then 200.
    const double atEight = 4.0 * 0.6 + 4.0 * 1.0;
    EXPECT_DOUBLE_EQ(map.secondsAt(8.0), atEight);
    EXPECT_DOUBLE_EQ(map.secondsAt(10.0), atEight + 2.0 * 60.0 / 200.0);
}

TEST(TempoMap, ImpossibleTemposAndMetersAreRefused)
{
    TempoMap map;
    EXPECT_FALSE(map.setTempo(0.0, 0.0));
    EXPECT_FALSE(map.setTempo(0.0, -5.0));
    EXPECT_FALSE(map.setTempo(-1.0, 120.0));
    EXPECT_FALSE(map.setTempo(0.0, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(map.setTimeSignature(0.0, 0, 4));
    EXPECT_FALSE(map.setTimeSignature(0.0, 3, 6));
    EXPECT_DOUBLE_EQ(map.secondsAt(1.0), 0.5);
}

TEST(TempoMap, BarsAreCountedFromEachTimeSignature)
{
    TempoMap map;
    map.setTimeSignature(0.0, 3, 4);   // bars of 3 quarters
    map.setTimeSignature(6.0, 6, 8);   // from bar 3: bars of 3 quarters in 6/8
    map.setTimeSignature(12.0, 5, 4);  // from quarter 12: bars of 5
    int numerator = 0;
    int denominator = 0;
    double barStart = -1.0;
    map.timeSignatureAt(4.5, numerator, denominator, barStart);
    EXPECT_EQ(numerator, 3);
    EXPECT_EQ(denominator, 4);
    EXPECT_DOUBLE_EQ(barStart, 3.0);
    map.timeSignatureAt(11.0, numerator, denominator, barStart);
    EXPECT_EQ(denominator, 8);
    EXPECT_DOUBLE_EQ(barStart, 9.0);
    map.timeSignatureAt(17.0 - 1e-12, numerator, denominator, barStart);
    EXPECT_EQ(numerator, 5);
    EXPECT_DOUBLE_EQ(barStart, 17.0);
}

TEST(TempoMap, ContextOfABlockCarriesTempoPositionAndTransport)
{
    TempoMap map(150.0);
    map.setTimeSignature(0.0, 7, 8);
    ProcessContext context{};
    const double rate = 48000.0;
    map.fillContext(context, 48000 * 3, rate, true);
    const double quarters = 3.0 * 150.0 / 60.0;
    EXPECT_DOUBLE_EQ(context.projectTimeMusic, quarters);
    EXPECT_DOUBLE_EQ(context.tempo, 150.0);
    EXPECT_EQ(context.projectTimeSamples, 48000 * 3);
    EXPECT_EQ(context.continousTimeSamples, 48000 * 3);
    EXPECT_DOUBLE_EQ(context.sampleRate, rate);
    EXPECT_EQ(context.timeSigNumerator, 7);
    EXPECT_EQ(context.timeSigDenominator, 8);
    EXPECT_DOUBLE_EQ(context.barPositionMusic, 3.5 * 2);
    const Steinberg::uint32 valid = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                         ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid;
    EXPECT_EQ(context.state & valid, valid);
    EXPECT_TRUE(context.state & ProcessContext::kPlaying);

    map.fillContext(context, 0, rate, false);
    EXPECT_FALSE(context.state & ProcessContext::kPlaying);
}
