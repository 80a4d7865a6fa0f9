#include "tools/kvhost/WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ShellTestSupport.h"

using namespace shell_test;

namespace
{
std::uint32_t Le(const std::string& bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return value;
}

// The offset of a chunk's content, searched from the first chunk.
std::size_t Chunk(const std::string& bytes, const char* tag)
{
    std::size_t at = 12;
    while (at + 8 <= bytes.size())
    {
        if (bytes.compare(at, 4, tag) == 0)
            return at + 8;
        at += 8 + Le(bytes, at + 4, 4);
    }
    return std::string::npos;
}

void WriteTwoBlocks(WavWriter& writer)
{
    const float left[3] = {0.5f, -0.25f, 2.0f};
    const float right[3] = {-1.0f, 0.0f, -3.0f};
    const float* channels[2] = {left, right};
    ASSERT_TRUE(writer.write(channels, 2, 2));
    const float* rest[2] = {left + 2, right + 2};
    ASSERT_TRUE(writer.write(rest, 2, 1));
}
} // namespace

TEST(WavWriter, FloatFileHoldsTheSamplesInterleavedWithAFactChunk)
{
    ScratchFolder scratch;
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(scratch.file("f.wav"), 2, 44100, WavFormat::Float32, error)) << error;
    WriteTwoBlocks(writer);
    ASSERT_TRUE(writer.close(error)) << error;

    const std::string bytes = ReadText(scratch.path() / "f.wav");
    ASSERT_EQ(bytes.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(Le(bytes, 4, 4), bytes.size() - 8);
    ASSERT_EQ(bytes.compare(8, 4, "WAVE"), 0);
    const std::size_t format = Chunk(bytes, "fmt ");
    ASSERT_NE(format, std::string::npos);
    EXPECT_EQ(Le(bytes, format, 2), 3u);           // IEEE float
    EXPECT_EQ(Le(bytes, format + 2, 2), 2u);       // channels
    EXPECT_EQ(Le(bytes, format + 4, 4), 44100u);   // rate
    EXPECT_EQ(Le(bytes, format + 8, 4), 44100u * 8);
    EXPECT_EQ(Le(bytes, format + 12, 2), 8u);      // block align
    EXPECT_EQ(Le(bytes, format + 14, 2), 32u);
    EXPECT_EQ(Le(bytes, Chunk(bytes, "fact"), 4), 3u);

    const std::size_t data = Chunk(bytes, "data");
    ASSERT_NE(data, std::string::npos);
    ASSERT_EQ(Le(bytes, data - 4, 4), 3u * 2 * 4);
    const float expected[6] = {0.5f, -1.0f, -0.25f, 0.0f, 2.0f, -3.0f};
    for (int i = 0; i < 6; ++i)
    {
        float sample = 0.0f;
        std::uint32_t bits = Le(bytes, data + 4 * static_cast<std::size_t>(i), 4);
        std::memcpy(&sample, &bits, 4);
        EXPECT_EQ(sample, expected[i]) << i; // float samples pass unchanged, even past full scale
    }
    EXPECT_EQ(writer.framesWritten(), 3u);
}

TEST(WavWriter, Pcm16FileRoundsAndClipsToFullScale)
{
    ScratchFolder scratch;
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(scratch.file("p.wav"), 2, 48000, WavFormat::Pcm16, error)) << error;
    WriteTwoBlocks(writer);
    ASSERT_TRUE(writer.close(error)) << error;

    const std::string bytes = ReadText(scratch.path() / "p.wav");
    EXPECT_EQ(Le(bytes, 4, 4), bytes.size() - 8);
    const std::size_t format = Chunk(bytes, "fmt ");
    EXPECT_EQ(Le(bytes, format, 2), 1u);
    EXPECT_EQ(Le(bytes, format + 14, 2), 16u);
    EXPECT_EQ(Chunk(bytes, "fact"), std::string::npos);
    const std::size_t data = Chunk(bytes, "data");
    ASSERT_EQ(Le(bytes, data - 4, 4), 3u * 2 * 2);
    const float expected[6] = {0.5f, -1.0f, -0.25f, 0.0f, 1.0f, -1.0f};
    for (int i = 0; i < 6; ++i)
    {
        const auto sample = static_cast<std::int16_t>(Le(bytes, data + 2 * static_cast<std::size_t>(i), 2));
        EXPECT_EQ(sample, static_cast<std::int16_t>(std::lrint(expected[i] * 32767.0f))) << i;
    }
}

TEST(WavWriter, FailuresAreReported)
{
    ScratchFolder scratch;
    WavWriter writer;
    std::string error;
    EXPECT_FALSE(writer.open(scratch.file("missing/x.wav"), 2, 48000, WavFormat::Float32, error));
    EXPECT_NE(error.find("missing/x.wav"), std::string::npos);
    EXPECT_FALSE(writer.open(scratch.file("x.wav"), 0, 48000, WavFormat::Float32, error));

    ASSERT_TRUE(writer.open(scratch.file("x.wav"), 2, 48000, WavFormat::Float32, error));
    const float samples[1] = {0.0f};
    const float* one[1] = {samples};
    EXPECT_FALSE(writer.write(one, 1, 1)); // not the channel count opened with
    EXPECT_FALSE(writer.close(error));
    EXPECT_FALSE(error.empty());
}
