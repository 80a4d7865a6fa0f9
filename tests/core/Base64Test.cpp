#include "core/Base64.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}
} // namespace

TEST(Base64, EncodesTheStandardVectorsWithPadding)
{
    EXPECT_EQ(Base64::encode(""), "");
    EXPECT_EQ(Base64::encode("f"), "Zg==");
    EXPECT_EQ(Base64::encode("fo"), "Zm8=");
    EXPECT_EQ(Base64::encode("foo"), "Zm9v");
    EXPECT_EQ(Base64::encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64::encode(Bytes({0xFB, 0xFF, 0xBF})), "+/+/");
}

TEST(Base64, DecodingInvertsEncodingForEveryByteValueAndLength)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    for (size_t length = 0; length <= all.size(); length += 7)
    {
        const std::string bytes = all.substr(all.size() - length);
        EXPECT_EQ(Base64::decode(Base64::encode(bytes)), bytes) << "length " << length;
    }
}

TEST(Base64, UnpaddedTextDecodesLikePaddedText)
{
    EXPECT_EQ(Base64::decode("Zg"), "f");
    EXPECT_EQ(Base64::decode("Zm8"), "fo");
    EXPECT_EQ(Base64::decode("Zm9vYg"), "foob");
}

TEST(Base64, DecodingStopsAtTheFirstPaddingInAGroupsLastTwoPlaces)
{
    EXPECT_EQ(Base64::decode("Zg==Zm9v"), "f");
    EXPECT_EQ(Base64::decode("Zm8=Zm9v"), "fo");
    EXPECT_EQ(Base64::decode("Zm9vZm=v"), "foo" + Bytes({0x66}));
}

TEST(Base64, CharactersOutsideTheAlphabetActAsAllOnesWithoutValidation)
{
    // First three places act as 63.
    EXPECT_EQ(Base64::decode("!AAA"), Bytes({0xFC, 0x00, 0x00}));
    EXPECT_EQ(Base64::decode("A!AA"), Bytes({0x03, 0xF0, 0x00}));
    EXPECT_EQ(Base64::decode("AA!A"), Bytes({0x00, 0x0F, 0xC0}));
    // Fourth place makes the third byte 255.
    EXPECT_EQ(Base64::decode("AAB!"), Bytes({0x00, 0x00, 0xFF}));
    // "=" in the first two places is just an unknown character.
    EXPECT_EQ(Base64::decode("==AA"), Bytes({0xFF, 0xF0, 0x00}));
    // Line breaks are not skipped: the break shifts the groups after it.
    EXPECT_EQ(Base64::decode("Zm9v\nZm9v"), "foo" + Bytes({0xFD, 0x99, 0xBD, 0xBF}));
}

TEST(Base64, ALoneFinalCharacterGivesOneByteAsIfFollowedByAnUnknownOne)
{
    // 'Q' is 16: 16 * 4 + 3.
    EXPECT_EQ(Base64::decode("Q"), Bytes({67}));
    EXPECT_EQ(Base64::decode("Zm9vQ"), "foo" + Bytes({67}));
    EXPECT_EQ(Base64::decode("/"), Bytes({(63 * 4 + 3) & 0xFF}));
}

TEST(Base64, GarbageOfAnyLengthDecodesWithinBounds)
{
    std::string garbage;
    for (int i = 0; i < 300; ++i)
    {
        garbage.push_back(static_cast<char>((i * 37) & 0xFF));
        const std::string out = Base64::decode(garbage);
        EXPECT_LE(out.size(), (garbage.size() + 3) / 4 * 3);
    }
}
