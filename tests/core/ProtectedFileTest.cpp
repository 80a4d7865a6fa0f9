#include "core/ProtectedFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TempFolder.h"

namespace
{
constexpr int kFileSize = 1000;

unsigned char PatternByte(int index) { return static_cast<unsigned char>((index * 7 + 3) & 0xFF); }

class ProtectedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = folder_.file(name);
        std::ofstream out(path_, std::ios::binary);
        for (int i = 0; i < kFileSize; ++i)
            out.put(static_cast<char>(PatternByte(i)));
    }

    void TearDown() override
    {
        if (file_)
            file_->release();
    }

    ProtectedFile2* Open(const char* mode = "rb") { return file_ = ProtectedFile2::FromUri(path_.c_str(), mode); }

    int NextByte()
    {
        unsigned char byte = 0;
        int64_t got = 0;
        return file_->read(&byte, 1, &got) == gmpi::MP_OK && got == 1 ? byte : -1;
    }

    kv_test::TempFolder folder_{"protected-file"};
    std::string path_;
    ProtectedFile2* file_ = nullptr;
};
} // namespace

TEST_F(ProtectedFileTest, AShortReadAtTheEndSucceedsAndBadArgumentsFail)
{
    EXPECT_EQ(ProtectedFile2::FromUri((path_ + ".missing").c_str(), "rb"), nullptr);
    ASSERT_NE(Open(), nullptr);
    std::vector<unsigned char> buffer(600);
    int64_t got = -1;
    EXPECT_EQ(file_->read(buffer.data(), -1, &got), gmpi::MP_FAIL);
    EXPECT_EQ(file_->read(nullptr, 4, &got), gmpi::MP_FAIL);

    ASSERT_EQ(file_->read(buffer.data(), 600, &got), gmpi::MP_OK);
    EXPECT_EQ(got, 600);
    ASSERT_EQ(file_->read(buffer.data(), 600, &got), gmpi::MP_OK);
    ASSERT_EQ(got, kFileSize - 600);
    for (int i = 0; i < got; ++i)
        ASSERT_EQ(buffer[i], PatternByte(600 + i)) << "at " << i;
    EXPECT_EQ(file_->read(buffer.data(), 10, &got), gmpi::MP_OK);
    EXPECT_EQ(got, 0);
}

TEST_F(ProtectedFileTest, ReadFailsWhenTheLibraryReportsAnError)
{
    // A write-only stream cannot be read: the C library flags an error.
    ASSERT_NE(Open("ab"), nullptr);
    unsigned char buffer[8];
    int64_t got = -1;
    EXPECT_EQ(file_->read(buffer, 8, &got), gmpi::MP_FAIL);
    EXPECT_EQ(got, 0);
}

TEST_F(ProtectedFileTest, SeekMovesFromEachOriginAndFailedSeeksLeaveThePosition)
{
    ASSERT_NE(Open(), nullptr);
    int64_t position = -1;
    EXPECT_EQ(file_->seek(100, 0, &position), gmpi::MP_OK);
    EXPECT_EQ(position, 100);
    EXPECT_EQ(file_->seek(-50, 1, &position), gmpi::MP_OK);
    EXPECT_EQ(NextByte(), PatternByte(50));
    EXPECT_EQ(file_->seek(-1, 2, &position), gmpi::MP_OK);
    EXPECT_EQ(position, kFileSize - 1);

    ASSERT_EQ(file_->seek(20, 0, nullptr), gmpi::MP_OK);
    position = 777;
    EXPECT_EQ(file_->seek(5, 3, &position), gmpi::MP_FAIL);
    EXPECT_EQ(file_->seek(-1, 0, &position), gmpi::MP_FAIL);
    EXPECT_EQ(position, 777);
    EXPECT_EQ(NextByte(), PatternByte(20));
}

TEST_F(ProtectedFileTest, GetSizeKeepsEvenAPositionBeyondFourGigabytes)
{
    ASSERT_NE(Open(), nullptr);
    const int64_t far = (int64_t{1} << 32) + 12345;
    int64_t position = 0, size = 0;
    ASSERT_EQ(file_->seek(far, 0, &position), gmpi::MP_OK);
    EXPECT_EQ(position, far);
    EXPECT_EQ(file_->getSize(&size), gmpi::MP_OK);
    EXPECT_EQ(size, kFileSize);
    ASSERT_EQ(file_->seek(0, 1, &position), gmpi::MP_OK);
    EXPECT_EQ(position, far);
}

TEST_F(ProtectedFileTest, EachInterfaceQueryHoldsAReferenceUntilReleased)
{
    ASSERT_NE(Open(), nullptr);
    void* found = nullptr;
    EXPECT_EQ(file_->queryInterface(gmpi::MP_IID_PROTECTED_FILE2, &found), gmpi::MP_OK);
    EXPECT_EQ(found, static_cast<gmpi::IProtectedFile2*>(file_));
    EXPECT_EQ(file_->queryInterface(gmpi::MP_IID_UNKNOWN, &found), gmpi::MP_OK);
    EXPECT_EQ(file_->queryInterface(gmpi::MP_IID_RETURNSTRING, &found), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(file_->release(), 2);
    EXPECT_EQ(file_->release(), 1);
    EXPECT_EQ(file_->release(), 0);
    file_ = nullptr;
}

TEST(ProtectedFile, TheOlderFileOffersNothingAndCloseFreesIt)
{
    gmpi::IProtectedFile* file = new ProtectedFile();
    int32_t size = 99;
    EXPECT_EQ(file->getSize(size), gmpi::MP_FAIL);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(file->close(), gmpi::MP_OK);
}
