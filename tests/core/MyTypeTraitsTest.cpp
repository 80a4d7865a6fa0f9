#include "core/MyTypeTraits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(MyTypeTraits, NumbersParseFromBothEncodingsAndGiveZeroForJunk)
{
    float f = 1.0f;
    MyTypeTraits<float>::parse(L" 0.5xyz", f);
    EXPECT_FLOAT_EQ(f, 0.5f);
    MyTypeTraits<float>::parse("junk", f);
    EXPECT_EQ(f, 0.0f);

    double d = 0.0;
    MyTypeTraits<double>::parse("1e-300", d);
    EXPECT_DOUBLE_EQ(d, 1e-300);

    int i = 0;
    MyTypeTraits<int>::parse(L"-42", i);
    EXPECT_EQ(i, -42);
    MyTypeTraits<int>::parse(static_cast<const char*>(nullptr), i);
    EXPECT_EQ(i, 0);

    short s = 0;
    MyTypeTraits<short>::parse("70000", s);
    EXPECT_EQ(s, 4464);
    MyTypeTraits<short>::parse(L"-3", s);
    EXPECT_EQ(s, -3);
}

TEST(MyTypeTraits, BoolParsesAsANumberAndIsWrittenAsADigit)
{
    bool b = true;
    MyTypeTraits<bool>::parse("true", b);
    EXPECT_FALSE(b);
    MyTypeTraits<bool>::parse(L"2", b);
    EXPECT_TRUE(b);
    EXPECT_EQ(MyTypeTraits<bool>::toXML(true), "1");
    EXPECT_EQ(MyTypeTraits<bool>::toXML(false), "0");
}

TEST(MyTypeTraits, FloatsAreWrittenWithSixSignificantDigits)
{
    EXPECT_EQ(MyTypeTraits<float>::toXML(0.1f), "0.1");
    EXPECT_EQ(MyTypeTraits<float>::toXML(1234567.0f), "1.23457e+06");
    EXPECT_EQ(MyTypeTraits<double>::toXML(-0.25), "-0.25");
    EXPECT_EQ(MyTypeTraits<int>::toXML(-9), "-9");
    EXPECT_EQ(MyTypeTraits<short>::toXML(static_cast<short>(-32768)), "-32768");

    // Written and read back, a float keeps 6 significant digits.
    for (float v : {3.14159265f, -2.7182818e-9f, 98765.4321f, 1e30f})
    {
        float back = 0.0f;
        MyTypeTraits<float>::parse(MyTypeTraits<float>::toXML(v).c_str(), back);
        EXPECT_NEAR(back, v, std::fabs(v) * 5e-6);
    }
}

TEST(MyTypeTraits, WideStringsRoundTripThroughUtf8)
{
    std::wstring w;
    MyTypeTraits<std::wstring>::parse("caf\xC3\xA9", w);
    EXPECT_EQ(w, L"caf\u00E9");
    EXPECT_EQ(MyTypeTraits<std::wstring>::toXML(w), "caf\xC3\xA9");
    MyTypeTraits<std::wstring>::parse(L"as is", w);
    EXPECT_EQ(w, L"as is");
    MyTypeTraits<std::wstring>::parse(static_cast<const wchar_t*>(nullptr), w);
    EXPECT_EQ(w, L"");
}

TEST(MyTypeTraits, BlobsUseBase64AndIgnoreWideText)
{
    EXPECT_EQ(MyTypeTraits<MpBlob>::toXML(MpBlob()), "");
    MpBlob blob(2, "zz");
    MyTypeTraits<MpBlob>::parse("", blob);
    EXPECT_EQ(blob.getSize(), 0);

    const MpBlob original(5, "\x00\x01\xFEqr");
    const std::string text = MyTypeTraits<MpBlob>::toXML(original);
    EXPECT_EQ(text, "AAH+cXI=");
    MpBlob back;
    MyTypeTraits<MpBlob>::parse(text.c_str(), back);
    EXPECT_EQ(back, original);

    MyTypeTraits<MpBlob>::parse(L"AAAA", back);
    EXPECT_EQ(back, original);
}
