#include "core/StagingMemoryBuffer.h"

#include <gtest/gtest.h>

#include <vector>

TEST(StagingMemoryBuffer, AWriteIsTakenOnlyWhenItFitsWhole)
{
    StagingMemoryBuffer buffer;
    buffer.used_ = StagingMemoryBuffer::kCapacity - 4;
    StagingMemoryBufferOutputStream out(&buffer);
    out << int32_t{0x01020304};
    EXPECT_FALSE(out.failed());
    EXPECT_EQ(buffer.used_, StagingMemoryBuffer::kCapacity);
    out << uint8_t{9};
    EXPECT_TRUE(out.failed());
    EXPECT_EQ(buffer.used_, StagingMemoryBuffer::kCapacity);

    buffer.used_ = StagingMemoryBuffer::kCapacity - 4;
    out.Write("12345", 5);
    EXPECT_EQ(buffer.used_, StagingMemoryBuffer::kCapacity - 4);
    EXPECT_EQ(buffer.data_[buffer.used_], 4); // the earlier bytes are untouched

    // A corrupt count leaves no room rather than writing out of bounds.
    buffer.used_ = 0xFFFFFFF0u;
    out << uint8_t{1};
    EXPECT_EQ(buffer.used_, 0xFFFFFFF0u);
    EXPECT_EQ(StagingMemoryBufferInputStream(buffer).TotalSize(), static_cast<int>(StagingMemoryBuffer::kCapacity));
}

TEST(StagingMemoryBuffer, ARecordThatDoesNotFitIsRolledBackWhole)
{
    StagingMemoryBuffer buffer;
    StagingMemoryBufferOutputStream out(&buffer);
    out.BeginRecord();
    out << int32_t{1} << int32_t{2};
    EXPECT_TRUE(out.EndRecord());

    // The big field fails; the small one after it must not sneak in either.
    const std::vector<char> big(StagingMemoryBuffer::kCapacity, 'x');
    out.BeginRecord();
    out << int32_t{3};
    out.Write(big.data(), static_cast<unsigned>(big.size()));
    out << int32_t{4};
    EXPECT_FALSE(out.EndRecord());
    EXPECT_EQ(buffer.used_, 8u);

    out.BeginRecord();
    out << int32_t{5};
    EXPECT_TRUE(out.EndRecord());
    EXPECT_EQ(buffer.used_, 12u);

    // A buffer emptied while a record was open is not moved forward by the rollback.
    out.BeginRecord();
    buffer.Clear();
    out.Write(big.data(), static_cast<unsigned>(big.size()) + 1);
    EXPECT_FALSE(out.EndRecord());
    EXPECT_EQ(buffer.used_, 0u);
}

TEST(StagingMemoryBuffer, TheInputStreamIsBoundedByItsTotalSizeNotByTheBytesBehindIt)
{
    const unsigned char bytes[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    StagingMemoryBufferInputStream in(bytes, 6);
    int32_t first = 0, second = 7;
    in >> first >> second;
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(in.failed());
    EXPECT_EQ(second, 0);
    EXPECT_EQ(in.Position(), 6);
    EXPECT_TRUE(StagingMemoryBufferInputStream(bytes, -3).AtEnd());
    EXPECT_EQ(StagingMemoryBufferInputStream(nullptr, 100).TotalSize(), 0);
}
