#include "core/MpString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(MpString, AnswersTheReturnStringIdWithItsAgreedBytesAndTheUnknownIdOnly)
{
    const unsigned char bytes[16] = {0x21, 0xfb, 0x8f, 0xab, 0xff, 0x44, 0xb7, 0x42, 0x88, 0x85, 0x29, 0x43, 0x13, 0x99, 0xe7, 0xe4};
    EXPECT_EQ(std::memcmp(&gmpi::MP_IID_RETURNSTRING, bytes, 16), 0);

    gmpi_sdk::MpString text;
    gmpi::IMpUnknown* unknown = &text;
    void* found = nullptr;
    EXPECT_EQ(unknown->queryInterface(gmpi::MP_IID_RETURNSTRING, &found), gmpi::MP_OK);
    ASSERT_EQ(found, static_cast<gmpi::IMpReturnString*>(&text));
    EXPECT_EQ(unknown->queryInterface(gmpi::MP_IID_UNKNOWN, &found), gmpi::MP_OK);
    EXPECT_EQ(unknown->queryInterface(gmpi::MP_IID_PROTECTED_FILE2, &found), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(found, nullptr);
}

TEST(MpString, SetDataKeepsExactlyTheGivenBytesAndEmptiesOnNoBytesOrNoData)
{
    gmpi_sdk::MpString text;
    const char bytes[] = {'a', '\0', 'b', 'c', 'z'};
    EXPECT_EQ(text.setData(bytes, 4), gmpi::MP_OK);
    EXPECT_EQ(text.str(), std::string(bytes, 4));
    text.setData(text.getData() + 2, 2);
    EXPECT_EQ(text.str(), "bc");

    for (int size : {0, -3})
    {
        text.setData("hello", 5);
        EXPECT_EQ(text.setData("hello", size), gmpi::MP_OK);
        EXPECT_EQ(text.getSize(), 0);
    }
    text.setData("hello", 5);
    EXPECT_EQ(text.setData(nullptr, 10), gmpi::MP_OK);
    EXPECT_EQ(text.getSize(), 0);
}
