#include "core/RawConversions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
template <typename T>
std::string BytesOf(T value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}
} // namespace

TEST(ParseToRaw, NumbersBecomeTheirNativeBytes)
{
    EXPECT_EQ(ParseToRaw(DT_FLOAT, std::string("0.1")), BytesOf(0.1f));
    EXPECT_EQ(ParseToRaw(DT_FSAMPLE, std::string("-2.5")), BytesOf(-2.5f));
    EXPECT_EQ(ParseToRaw(DT_DOUBLE, std::string("0.1")), BytesOf(0.1));
    EXPECT_EQ(ParseToRaw(DT_INT, std::string("-123")), BytesOf<int32_t>(-123));
    EXPECT_EQ(ParseToRaw(DT_ENUM, std::string("70000")), BytesOf<int16_t>(4464));
    EXPECT_EQ(ParseToRaw(DT_INT, std::string("junk")), BytesOf<int32_t>(0));
}

TEST(ParseToRaw, BoolIsOneByteFromANumberSoTrueParsesAsFalse)
{
    EXPECT_EQ(ParseToRaw(DT_BOOL, std::string("true")), std::string(1, '\0'));
    EXPECT_EQ(ParseToRaw(DT_BOOL, std::string("2")), std::string(1, '\1'));
    EXPECT_EQ(ParseToRaw(DT_BOOL, std::wstring(L"-1")), std::string(1, '\1'));
}

TEST(ParseToRaw, TextIsFourBytesACharacterFromEitherEncoding)
{
    const std::wstring wide = L"a\u00E9";
    const std::string raw(reinterpret_cast<const char*>(wide.data()), 8);
    EXPECT_EQ(ParseToRaw(DT_TEXT, wide), raw);
    EXPECT_EQ(ParseToRaw(DT_TEXT, std::string("a\xC3\xA9")), raw);
    EXPECT_EQ(ParseToRaw(DT_TEXT, std::string()), "");
}

TEST(ParseToRaw, WideAndUtf8TextGiveTheSameBytes)
{
    for (int datatype : {DT_ENUM, DT_DOUBLE, DT_BOOL, DT_FSAMPLE, DT_FLOAT, DT_INT})
    {
        EXPECT_EQ(ParseToRaw(datatype, std::string(" 12.75e1x")), ParseToRaw(datatype, std::wstring(L" 12.75e1x")));
    }
}

TEST(ParseToRaw, TypesWithoutARawTextFormGiveNothing)
{
    for (int datatype : {int(DT_MIDI2), 7, int(DT_BLOB), 9, 42, -1})
    {
        EXPECT_EQ(ParseToRaw(datatype, std::string("5")), "") << datatype;
        EXPECT_EQ(ParseToRaw(datatype, std::wstring(L"5")), "") << datatype;
        const int32_t value = 5;
        EXPECT_EQ(RawToUtf8B(datatype, &value, 4), "") << datatype;
    }
}

TEST(RawToUtf8B, FormatsEachDatatypeLikeTheDefaultStream)
{
    const float tenth = 0.1f, big = 1234567.0f;
    EXPECT_EQ(RawToUtf8B(DT_FLOAT, &tenth, 4), "0.1");
    EXPECT_EQ(RawToUtf8B(DT_FSAMPLE, &big, 4), "1.23457e+06");
    const bool on = true;
    EXPECT_EQ(RawToUtf8B(DT_BOOL, &on, 1), "1");
    const int16_t e = -5;
    EXPECT_EQ(RawToUtf8B(DT_ENUM, &e, 2), "-5");
    const double d = 1e-7;
    EXPECT_EQ(RawToUtf8B(DT_DOUBLE, &d, 8), "1e-07");
    const int32_t i = -2147483647 - 1;
    EXPECT_EQ(RawToUtf8B(DT_INT, &i, 4), "-2147483648");
    const std::wstring text = L"h\u00E9";
    EXPECT_EQ(RawToUtf8B(DT_TEXT, text.data(), 8), "h\xC3\xA9");
}

TEST(RawToUtf8B, TooFewBytesOrNoDataGiveEmptyText)
{
    const double d = 2.0;
    EXPECT_EQ(RawToUtf8B(DT_DOUBLE, &d, 4), "");
    EXPECT_EQ(RawToUtf8B(DT_FLOAT, &d, 3), "");
    EXPECT_EQ(RawToUtf8B(DT_ENUM, &d, 1), "");
    EXPECT_EQ(RawToUtf8B(DT_BOOL, &d, 0), "");
    EXPECT_EQ(RawToUtf8B(DT_INT, nullptr, 4), "");
    EXPECT_EQ(RawToUtf8B(DT_TEXT, nullptr, 8), "");
    EXPECT_EQ(RawToUtf8B(DT_TEXT, &d, -4), "");
    EXPECT_EQ(RawToUtf8<float>(&d, 2), "");
    EXPECT_EQ(RawToUtf8<int>(nullptr, 4), "");
}

TEST(RawToUtf8B, InvertsParseToRawForCanonicalTexts)
{
    const std::pair<int, const char*> cases[] = {
        {DT_ENUM, "-300"}, {DT_TEXT, "x y\xE2\x82\xAC"}, {DT_DOUBLE, "3.25e+200"}, {DT_BOOL, "1"},
        {DT_FLOAT, "440"}, {DT_FSAMPLE, "-0.125"}, {DT_INT, "99"}};
    for (const auto& [datatype, text] : cases)
    {
        const std::string raw = ParseToRaw(datatype, std::string(text));
        EXPECT_EQ(RawToUtf8B(datatype, raw.data(), static_cast<int>(raw.size())), text) << datatype;
    }
}

TEST(RawForms, WideStringRawFormIsItsCharactersWithoutTerminator)
{
    const std::wstring text = L"abc";
    EXPECT_EQ(RawSize(text), 12);
    EXPECT_EQ(RawData3(text), static_cast<const void*>(text.data()));
    EXPECT_EQ(ToRaw4(text).size(), 12u);
    EXPECT_EQ(RawToValue<std::wstring>(ToRaw4(text).data(), 12), text);
    EXPECT_EQ(RawToValue<std::wstring>(text.data(), 7), L"a");
    EXPECT_EQ(RawToValue<std::wstring>(text.data(), 0), L"");
    EXPECT_EQ(RawToString<std::wstring>(text.data(), 11), L"ab");
    EXPECT_EQ(RawSize(L"abcd"), 16);
    const wchar_t* plain = L"xy";
    EXPECT_EQ(RawSize<const wchar_t*>(plain), 8);
}

TEST(RawForms, BlobRawFormIsItsBytes)
{
    const MpBlob blob(3, "xyz");
    EXPECT_EQ(RawSize(blob), 3);
    EXPECT_EQ(ToRaw4(blob), "xyz");
    EXPECT_EQ(RawToValue<MpBlob>("pqrs", 4), MpBlob(4, "pqrs"));
    EXPECT_EQ(RawToValue<MpBlob>(nullptr, 4).getSize(), 0);
    EXPECT_EQ(RawToString<MpBlob>(blob.getData(), 3), L"<Blob>");
    EXPECT_EQ(RawToUtf8<MpBlob>(blob.getData(), 3), "<Blob>");
    EXPECT_EQ(ToRaw4(MpBlob()), "");
}

TEST(RawForms, FixedSizeValuesRoundTripThroughTheirBytes)
{
    EXPECT_EQ(RawSize(1.5), 8);
    EXPECT_EQ(ToRaw4(-7), BytesOf(-7));
    EXPECT_EQ(RawToValue<int>(ToRaw4(-7).data(), 4), -7);
    EXPECT_EQ(RawToValue<double>(ToRaw4(0.3).data(), 8), 0.3);
    EXPECT_EQ(RawToValue<int>(ToRaw4(-7).data(), 3), 0);
    const unsigned char two = 2;
    EXPECT_TRUE(RawToValue<bool>(&two, 1));
    EXPECT_FALSE(RawToValue<bool>(&two, 0));
    EXPECT_EQ(RawToString<float>(ToRaw4(0.5f).data(), 4), L"0.5");
}

TEST(RawForms, RawData2GivesAHeapCopyTheCallerFrees)
{
    void* data = nullptr;
    int size = -1;
    RawData2(std::wstring(L"hi"), &data, &size);
    ASSERT_EQ(size, 8);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data, L"hi", 8), 0);
    std::free(data);

    RawData2(MpBlob(), &data, &size);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(data, nullptr);
}

TEST(RawForms, DatatypesAreCompatibleOnlyWithThemselves)
{
    EXPECT_TRUE(AreCompatible(DT_FLOAT, DT_FLOAT));
    EXPECT_FALSE(AreCompatible(DT_FLOAT, DT_FSAMPLE));
    EXPECT_FALSE(AreCompatible(DT_INT, DT_ENUM));
}
