#include "core/MpBlob.h"
#include "core/StagingMemoryBuffer.h"
#include "core/my_streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
template <typename T>
T LoadAt(const StagingMemoryBuffer& buffer, uint32_t offset)
{
    T value;
    std::memcpy(&value, buffer.data_ + offset, sizeof(T));
    return value;
}
} // namespace

TEST(my_streams, ValuesTravelAsRawBytesWithoutPaddingAndReadBackEqual)
{
    StagingMemoryBuffer buffer;
    StagingMemoryBufferOutputStream out(&buffer);
    const std::wstring text = L"K\u00e9y\U0001F600";
    const MpBlob blob(5, "\0\1\2\xFF\xFE");
    out << int32_t{-7} << 2.25 << true << uint8_t{200} << text << std::wstring() << blob << MpBlob() << 1.5f;
    EXPECT_EQ(buffer.used_, 4u + 8 + 1 + 1 + (4 + 4 * 4) + 4 + (4 + 5) + 4 + 4);
    EXPECT_EQ(LoadAt<double>(buffer, 4), 2.25);
    EXPECT_EQ(LoadAt<int32_t>(buffer, 14), 4);           // the character count
    EXPECT_EQ(LoadAt<uint32_t>(buffer, 18 + 12), 0x1F600u); // one 4-byte character
    EXPECT_EQ(LoadAt<int32_t>(buffer, 34), 0);           // the empty string

    StagingMemoryBufferInputStream in(buffer);
    int32_t i = 0;
    double d = 0;
    bool b = false;
    uint8_t byte = 0;
    std::wstring a, empty = L"old";
    MpBlob backBlob, emptyBlob(3, "xyz");
    float f = 0;
    in >> i >> d >> b >> byte >> a >> empty >> backBlob >> emptyBlob >> f;
    EXPECT_FALSE(in.failed());
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(i, -7);
    EXPECT_EQ(d, 2.25);
    EXPECT_TRUE(b);
    EXPECT_EQ(byte, 200);
    EXPECT_EQ(a, text);
    EXPECT_EQ(empty, L"");
    EXPECT_EQ(backBlob, blob);
    EXPECT_EQ(emptyBlob.getSize(), 0);
    EXPECT_EQ(f, 1.5f);
}

TEST(my_streams, AReadPastTheEndFailsZeroFillsAndEveryLaterReadFailsToo)
{
    const unsigned char bytes[] = {7, 1, 2, 3};
    StagingMemoryBufferInputStream in(bytes, 4);
    bool flag = false;
    int32_t value = 99;
    in >> flag >> value;
    EXPECT_TRUE(flag); // any non-zero byte
    EXPECT_TRUE(in.failed());
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(in.AtEnd()); // so a loop driven by the position stops
    uint8_t byte = 5;
    in >> byte;
    EXPECT_EQ(byte, 0);
}

TEST(my_streams, ACountThatIsNegativeOrBeyondTheBytesLeftFailsBeforeAnythingIsAllocated)
{
    for (const int32_t count : {3, -1, INT32_MAX, INT32_MIN})
    {
        StagingMemoryBuffer buffer;
        StagingMemoryBufferOutputStream out(&buffer);
        out << count << int32_t{'a'} << int32_t{'b'};
        StagingMemoryBufferInputStream textIn(buffer), blobIn(buffer);
        std::wstring text = L"old";
        textIn >> text;
        EXPECT_TRUE(textIn.failed()) << count;
        EXPECT_TRUE(text.empty()) << count;
        MpBlob blob(2, "zz");
        if (count != 3) // three bytes of blob are there
        {
            blobIn >> blob;
            EXPECT_TRUE(blobIn.failed()) << count;
            EXPECT_EQ(blob.getSize(), 0) << count;
        }
    }
}
