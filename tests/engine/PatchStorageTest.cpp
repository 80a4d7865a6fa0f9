// Value memory behind a patch parameter: change reports, bounds, patch-count
// changes and reading values from records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/StagingMemoryBuffer.h"
#include "engine/parameters/PatchStorage.h"

namespace
{
float FloatAt(const PatchStorageBase& storage, int patch)
{
    float value = 0.0f;
    std::memcpy(&value, storage.GetValue(patch), sizeof(value));
    return value;
}
} // namespace

TEST(PatchStorageFixedSize, ReportsAChangeOnlyWhenTheBytesDiffer)
{
    PatchStorageFixedSize storage(4, 4);
    const float value = 2.5f;
    EXPECT_TRUE(storage.SetValue(&value, 4, 2));
    EXPECT_FALSE(storage.SetValue(&value, 4, 2));
    EXPECT_FLOAT_EQ(FloatAt(storage, 2), 2.5f);
    EXPECT_FLOAT_EQ(FloatAt(storage, 1), 0.0f);
}

TEST(PatchStorageFixedSize, WritesOutsideThePatchRangeStoreNothing)
{
    PatchStorageFixedSize storage(2, 4);
    const float value = 1.0f;
    EXPECT_FALSE(storage.SetValue(&value, 4, -1));
    EXPECT_FALSE(storage.SetValue(&value, 4, 2));
    EXPECT_EQ(storage.GetValue(2), nullptr);
    EXPECT_FLOAT_EQ(FloatAt(storage, 0), 0.0f);
    EXPECT_FLOAT_EQ(FloatAt(storage, 1), 0.0f);
}

TEST(PatchStorageFixedSize, GrowingSpreadsPatchZeroAndShrinkingKeepsTheFirstPatches)
{
    PatchStorageFixedSize storage(1, 4);
    const float value = 2.5f;
    storage.SetValue(&value, 4, 0);
    storage.setDirty(0, true);
    storage.setPatchCount(128);
    ASSERT_EQ(storage.getPatchCount(), 128);
    for (int p = 0; p < 128; ++p)
    {
        EXPECT_FLOAT_EQ(FloatAt(storage, p), 2.5f);
        EXPECT_FALSE(storage.isDirty(p));
    }
    const float other = 9.0f;
    storage.SetValue(&other, 4, 1);
    storage.setPatchCount(2);
    EXPECT_FLOAT_EQ(FloatAt(storage, 0), 2.5f);
    EXPECT_FLOAT_EQ(FloatAt(storage, 1), 9.0f);
}

TEST(PatchStorageVariableSize, AnEntryThatNeverHeldBytesReportsEveryWriteAsAChange)
{
    PatchStorageVariableSize storage(2);
    EXPECT_TRUE(storage.SetValue(nullptr, 0, 0));
    EXPECT_TRUE(storage.SetValue("", 0, 1));
    const std::wstring five = L"abcde";
    const std::wstring three = L"xyz";
    EXPECT_TRUE(storage.SetValue(five.data(), 20, 0));
    EXPECT_FALSE(storage.SetValue(five.data(), 20, 0));
    EXPECT_TRUE(storage.SetValue(three.data(), 12, 0));
    EXPECT_EQ(storage.GetValueSize(0), 12);
    EXPECT_EQ(std::memcmp(storage.GetValue(0), three.data(), 12), 0);
    EXPECT_FALSE(storage.SetValue(three.data(), 12, 5));
    EXPECT_FALSE(storage.SetValue(three.data(), 12, -1));
}

TEST(PatchStorageVariableSize, ResizingSpreadsPatchZeroEitherWay)
{
    PatchStorageVariableSize storage(3);
    const std::wstring first = L"ab";
    const std::wstring second = L"cdef";
    storage.SetValue(first.data(), 8, 0);
    storage.SetValue(second.data(), 16, 1);
    storage.setPatchCount(2);
    EXPECT_EQ(storage.GetValueSize(1), 8);
    storage.setPatchCount(5);
    EXPECT_EQ(storage.GetValueSize(4), 8);
    EXPECT_EQ(std::memcmp(storage.GetValue(4), first.data(), 8), 0);
}

TEST(PatchStorage, ValuesReadFromARecordAreBoundedByTheRecord)
{
    // A fixed value with too few bytes left keeps what was stored.
    PatchStorageFixedSize fixed(1, 4);
    const float kept = 3.0f;
    fixed.SetValue(&kept, 4, 0);
    const unsigned char shortRecord[2] = {1, 2};
    StagingMemoryBufferInputStream shortStream(shortRecord, 2);
    fixed.SetValue(shortStream, 0);
    EXPECT_FLOAT_EQ(FloatAt(fixed, 0), 3.0f);

    // A variable value whose count exceeds the record allocates nothing.
    PatchStorageVariableSize variable(1);
    const int32_t huge[2] = {0x7FFFFFF0, 0};
    StagingMemoryBufferInputStream hugeStream(huge, 8);
    variable.SetValue(hugeStream, 0);
    EXPECT_TRUE(hugeStream.failed());
    EXPECT_EQ(variable.GetValueSize(0), 0);

    const int32_t good[3] = {8, 0x41, 0x42};
    StagingMemoryBufferInputStream goodStream(good, 12);
    variable.SetValue(goodStream, 0);
    EXPECT_FALSE(goodStream.failed());
    EXPECT_EQ(variable.GetValueSize(0), 8);
}
