#include "core/MpBlob.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(MpBlob, EmptyBlobsCompareEqualAndANegativeSizeIsNeverKept)
{
    MpBlob a, b, c(-5, "xyz");
    EXPECT_EQ(a, b);
    EXPECT_EQ(c.getSize(), 0);
    EXPECT_EQ(c.getData(), nullptr);
    EXPECT_EQ(a, c);
}

TEST(MpBlob, CopiesAreDeepAndCompareByBytes)
{
    MpBlob a(4, "abcd");
    MpBlob b(a);
    EXPECT_NE(a.getData(), b.getData());
    EXPECT_EQ(a, b);
    b.getData()[0] = 'z';
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.compare("abcd", 4));
    EXPECT_FALSE(a.compare("abc", 3));
}

TEST(MpBlob, AssigningEqualSizeCopiesIntoTheExistingArray)
{
    const MpBlob a(4, "wxyz");
    MpBlob b(4, "1234");
    const char* array = b.getData();
    b = a;
    EXPECT_EQ(b.getData(), array);
    EXPECT_TRUE(b.compare("wxyz", 4));
}

TEST(MpBlob, ResizeGrowingLosesContentShrinkingKeepsThem)
{
    MpBlob a(4, "abcd");
    a.resize(2);
    EXPECT_EQ(a.getSize(), 2);
    EXPECT_EQ(std::memcmp(a.getData(), "ab", 2), 0);
    a.resize(-3);
    EXPECT_EQ(a.getSize(), 0);
}

TEST(MpBlob, SetValueRawFromItsOwnBytesIsSafe)
{
    MpBlob a(6, "abcdef");
    a.setValueRaw(3, a.getData() + 2);
    EXPECT_TRUE(a.compare("cde", 3));
}

TEST(MpBlob, ValuesWithinTheReservedRoomStayInItsArray)
{
    MpBlob a(3, "abc");
    a.reserve(16);
    EXPECT_TRUE(a.compare("abc", 3));
    const char* array = a.getData();
    for (int size : {16, 0, 7, 1})
    {
        const std::string bytes(static_cast<size_t>(size), static_cast<char>('k' + size));
        a.setValueRaw(size, bytes.data());
        EXPECT_EQ(a.getData(), array);
        EXPECT_TRUE(a.compare(bytes.data(), size));
    }
    a.setValueRaw(17, std::string(17, 'q').data());
    EXPECT_TRUE(a.compare(std::string(17, 'q').data(), 17));
    EXPECT_GE(a.capacity(), 17);
}
