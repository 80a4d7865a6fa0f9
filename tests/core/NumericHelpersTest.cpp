#include "core/numeric_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

namespace
{
float FromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}
} // namespace

TEST(SetBit, ReportsWhetherTheFlagsWereAlreadySo)
{
    int flags = 0x1;
    EXPECT_FALSE(SetBit(flags, 0x4, true));
    EXPECT_EQ(flags, 0x5);
    EXPECT_TRUE(SetBit(flags, 0x4, true));
    EXPECT_FALSE(SetBit(flags, 0x1, false));
    EXPECT_EQ(flags, 0x4);
    EXPECT_TRUE(SetBit(flags, 0x1, false));
}

TEST(TimeConversions, MillisecondsToSamplesTruncatesTowardZero)
{
    EXPECT_EQ(msToSamples(1500, 44100), 66150);
    for (int ms : {-2501, -1, 0, 1, 999, 1001, 123457})
    {
        for (int rate : {44100, 48000, 96000, 22050})
            EXPECT_EQ(msToSamples(ms, rate), static_cast<int>(static_cast<long long>(ms) * rate / 1000));
    }
}

TEST(TimeConversions, MillisecondsToSamplesSaturatesInsteadOfOverflowing)
{
    EXPECT_EQ(msToSamples(INT_MAX, 192000), INT_MAX);
    EXPECT_EQ(msToSamples(INT_MIN, 192000), INT_MIN);
    // An hour at 192 kHz still fits and is exact.
    EXPECT_EQ(msToSamples(3600000, 192000), 691200000);
}

TEST(TimeConversions, SamplesToMillisecondsRoundsToTheNearest)
{
    EXPECT_EQ(SampleToMs(66150, 44100), 1500);
    for (long long samples = 0; samples < 200000; samples += 97)
        EXPECT_EQ(SampleToMs(samples, 44100), static_cast<int>(std::floor(samples * 1000.0 / 44100 + 0.5)));
}

TEST(TimeConversions, SamplesToMillisecondsIsSafeForBadRatesAndHugeTimes)
{
    EXPECT_EQ(SampleToMs(1000, 0), 0);
    EXPECT_EQ(SampleToMs(1000, -44100), 0);
    EXPECT_EQ(SampleToMs(INT64_MAX, 1), INT_MAX);
    EXPECT_EQ(SampleToMs(INT64_MIN, 1), INT_MIN);
}

TEST(ByteOrder, ReverseSwapsEachThirtyTwoBitWord)
{
    unsigned char data[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    reverse(data, 2);
    const unsigned char expected[9] = {4, 3, 2, 1, 8, 7, 6, 5, 9};
    EXPECT_EQ(std::memcmp(data, expected, sizeof(data)), 0);
    reverse(data, 0);
    reverse(nullptr, 3);
    EXPECT_EQ(std::memcmp(data, expected, sizeof(data)), 0);
}

TEST(Denormals, OnlyTheSmallestDenormalsAreReported)
{
    EXPECT_TRUE(is_denormal(FromBits(0x00000001)));
    EXPECT_TRUE(is_denormal(FromBits(0x800FFFFF)));
    EXPECT_FALSE(is_denormal(FromBits(0x00400000)));
    EXPECT_FALSE(is_denormal(1e-30f));
    EXPECT_FALSE(is_denormal(0.0f));
    EXPECT_FALSE(is_denormal(-0.0f));
    EXPECT_FALSE(is_denormal(1.0f));
}
