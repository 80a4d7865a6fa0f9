#include "core/conversion.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/ValueRule.h"

TEST(FourCharacterIds, PackTheFirstCharacterIntoTheTopByte)
{
    EXPECT_EQ(id_to_long("prnt"), 0x70726E74);
    EXPECT_EQ(id_to_long("ppc"), 0x70706300);
    EXPECT_EQ(id_to_long(nullptr), 0);
    // Bytes after the terminator count as zero and are never read.
    const char shortId[4] = {'a', '\0', 'x', 'y'};
    EXPECT_EQ(id_to_long(shortId), 0x61000000);
    EXPECT_EQ(long_to_id(id_to_long("prnt")), L"prnt");
    EXPECT_EQ(long_to_id(id_to_long("ppc")), L"ppc");
}

TEST(FourCharacterIds, WideIdsArePaddedWithSpaces)
{
    EXPECT_EQ(id_to_long(std::wstring(L"ab")), ('a' << 24) | ('b' << 16) | (' ' << 8) | ' ');
    EXPECT_EQ(id_to_long(std::wstring(L"prnt")), id_to_long("prnt"));
    EXPECT_EQ(id_to_long(std::wstring(L"")), 0x20202020);
}

TEST(Utf8, ANonBmpCharacterBecomesASurrogatePairAndBack)
{
    const std::string grin = "\xF0\x9F\x98\x80"; // U+1F600
    const std::wstring wide = Utf8ToWstring(grin);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
    EXPECT_EQ(WStringToUtf8(wide), grin);
}

TEST(Utf8, TwoAndThreeByteCharactersRoundTrip)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC"; // a, U+00E9, U+20AC
    EXPECT_EQ(Utf8ToWstring(text), std::wstring(L"a\u00E9\u20AC"));
    EXPECT_EQ(Utf8ToWstring(text.c_str()), Utf8ToWstring(text));
    EXPECT_EQ(WStringToUtf8(L"a\u00E9\u20AC"), text);
}

TEST(Utf8, MalformedInputDecodesWithoutValidationAndWithinBounds)
{
    EXPECT_EQ(Utf8ToWstring(static_cast<const char*>(nullptr)), L"");
    // A continuation byte without a lead byte gives character 0.
    EXPECT_EQ(Utf8ToWstring(std::string("a\x80z")), std::wstring(L"a\0z", 3));
    // A sequence cut short by the end is dropped; the terminator is never consumed.
    EXPECT_EQ(Utf8ToWstring("ab\xE2\x82"), L"ab");
    EXPECT_EQ(Utf8ToWstring(std::string("\xF0", 1)), L"");
    // Overlong forms are accepted.
    EXPECT_EQ(Utf8ToWstring("\xC1\x81"), L"A");
}

TEST(Utf8, LoneSurrogatesAreWrittenOrDropped)
{
    EXPECT_EQ(WStringToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "");
    EXPECT_EQ(WStringToUtf8(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b'}), "a\xED\xA0\x80"
                                                                                     "b");
}

TEST(ByteText, EachByteIsOneSignedCharacter)
{
    EXPECT_EQ(ToWstring("abc"), L"abc");
    EXPECT_EQ(ToWstring(std::string("\xE9")), std::wstring(1, static_cast<wchar_t>(-23)));
    EXPECT_EQ(ToWstring(static_cast<const char*>(nullptr)), L"");
    EXPECT_EQ(BytesToCString("xy"), L"xy");
}

TEST(FixedBuffers, CopiesAreAlwaysTerminatedAndNeverOverrun)
{
    wchar_t wide[4] = {L'#', L'#', L'#', L'#'};
    WStringToWchars(L"abcdef", wide, 3);
    EXPECT_EQ(std::wstring(wide), L"ab");
    EXPECT_EQ(wide[3], L'#');
    WStringToWchars(L"", wide, 4);
    EXPECT_EQ(wide[0], 0);
    wide[0] = L'#';
    WStringToWchars(L"abc", wide, 0);
    EXPECT_EQ(wide[0], L'#');

    char narrow[5] = "####";
    StringToChars("hello", narrow, 4);
    EXPECT_STREQ(narrow, "hel");
    StringToChars("hi", narrow, 4);
    EXPECT_STREQ(narrow, "hi");
    StringToChars("zz", narrow, -1);
    EXPECT_STREQ(narrow, "hi");
    // A character that does not fit whole is left out.
    StringToChars("ab\xC3\xBC", narrow, 4);
    EXPECT_STREQ(narrow, "ab");

    char16_t units[4] = {u'#', u'#', u'#', u'#'};
    Utf8ToChar16s("a\xF0\x9D\x84\x9E", units, 3);
    EXPECT_EQ(std::u16string(units), u"a");
    Utf8ToChar16s("\xC3\xBC\x80", units, 4);
    EXPECT_EQ(std::u16string(units), u"\u00FC?");
}

TEST(NumberText, ParsingTakesTheLongestNumericPrefixAndGivesZeroOtherwise)
{
    EXPECT_DOUBLE_EQ(StringToDouble(std::wstring(L"  1.5abc")), 1.5);
    EXPECT_DOUBLE_EQ(StringToDouble("-2.5e3"), -2500.0);
    EXPECT_EQ(StringToDouble(std::wstring(L"abc")), 0.0);
    EXPECT_FLOAT_EQ(StringToFloat(L"0.1"), 0.1f);
    EXPECT_EQ(StringToInt(std::wstring(L" 42x")), 42);
    EXPECT_EQ(StringToInt("ff", 16), 255);
    EXPECT_EQ(StringToInt(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(StringToDouble(static_cast<const char*>(nullptr)), 0.0);
}

TEST(NumberText, DoublesUseTheDefaultStreamFormat)
{
    EXPECT_EQ(DoubleToString(0.5), L"0.5");
    EXPECT_EQ(DoubleToString(440.0), L"440");
    EXPECT_EQ(DoubleToString(1e-7), L"1e-07");
    EXPECT_EQ(DoubleToString(1234567.0), L"1.23457e+06");
    EXPECT_EQ(DoubleToString(-0.25), L"-0.25");
    EXPECT_EQ(IntToString(-17), L"-17");
    EXPECT_EQ(IntToUtf8(2147483647), "2147483647");

    // Same text as "%g" in the C locale over many magnitudes.
    std::setlocale(LC_NUMERIC, "C");
    for (double v = 1.234567891e-12; v < 1e12; v *= 7.3)
    {
        for (double s : {v, -v})
        {
            char expected[64];
            std::snprintf(expected, sizeof(expected), "%g", s);
            EXPECT_EQ(DoubleToUtf8(s), expected);
        }
    }
}

TEST(NumberText, FloatToStringNeverShowsANegativeZero)
{
    EXPECT_EQ(FloatToString(1.23456f, 2), L"1.23");
    EXPECT_EQ(FloatToString(-0.001f, 2), L"0.00");
    EXPECT_EQ(FloatToString(-0.0f, -1), L"0");
    EXPECT_EQ(FloatToString(-1.5f, 1), L"-1.5");
    EXPECT_EQ(FloatToString(-0.5f, 0), L"0");
    EXPECT_EQ(FloatToString(-2.0f, 0), L"-2");
    EXPECT_EQ(FloatToString(1234.5f, -1), L"1.23e+03");
    EXPECT_EQ(FloatToString(0.5f, -1), L"0.5");
}

TEST(NumberText, XmlDoublesAvoidExponents)
{
    EXPECT_EQ(DoubleToXmlString(0.5, -1), "0.5");
    EXPECT_EQ(DoubleToXmlString(1e-7, -1), "0.000000");
    EXPECT_EQ(DoubleToXmlString(1234567.0, -1), "1234567.000000");
    EXPECT_EQ(DoubleToXmlString(3.14159265, 3), "3.14");
    EXPECT_EQ(DoubleToXmlString(12345.0, 2), "12345.00");
}

TEST(NumberText, SavedValuesAreWrittenAsTheCLocalesPrintfWroteThemAndReadBackToTheSameBits)
{
    // A float in 6 significant digits when they read back, else 9; a double in 17.
    std::setlocale(LC_NUMERIC, "C");
    for (double v = 1.234567891e-12; v < 1e30; v *= 3.7)
    {
        for (const double d : {v, -v})
        {
            const auto f = static_cast<float>(d);
            char six[64], nine[64], seventeen[64];
            std::snprintf(six, sizeof(six), "%g", static_cast<double>(f));
            std::snprintf(nine, sizeof(nine), "%.9g", static_cast<double>(f));
            std::snprintf(seventeen, sizeof(seventeen), "%.17g", d);
            const std::string text = FloatToExactUtf8(f);
            const auto back = static_cast<float>(StringToDouble(text.c_str()));
            EXPECT_EQ(std::memcmp(&back, &f, sizeof(f)), 0) << text;
            EXPECT_EQ(text, static_cast<float>(StringToDouble(six)) == f ? six : nine);
            EXPECT_EQ(DoubleToExactUtf8(d), seventeen);
            EXPECT_EQ(StringToDouble(DoubleToExactUtf8(d).c_str()), d);
        }
    }
}

TEST(NumberText, ASavedNumberWithOneDecimalCommaTakesThePointAndOtherTextsStayAsTheyAre)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1,23456705", "1.23456705"}, {"-2,5e-07", "-2.5e-07"}, {" 3,0 ", " 3.0 "}, {"+7,", "+7."},
        {",5", ".5"}, {"1,5E+3", "1.5E+3"},
        // Already a number, or no number: lists, names, two commas, a comma alone, a bad exponent.
        {"1.5", "1.5"}, {"42", "42"}, {"Sine,Saw", "Sine,Saw"}, {"1,2,3", "1,2,3"}, {"range 0,12", "range 0,12"},
        {",", ","}, {"1,5e", "1,5e"}, {"1,5x", "1,5x"}, {"1.5,5", "1.5,5"}, {"", ""}, {"a b", "a b"}};
    for (const auto& [saved, read] : cases)
    {
        EXPECT_EQ(ValueRule::SavedNumberText(saved), read) << saved;
        double number = 0.0;
        if (std::strchr(read, ',') == nullptr && ValueRule::ParseNumber(read, number))
        {
            EXPECT_EQ(number, StringToDouble(read)) << saved;
        }
    }
}

TEST(StringEdits, CaseChangesAndSimpleReplacements)
{
    EXPECT_EQ(MakeProper(L"hELLO wORLD"), L"Hello World");
    EXPECT_EQ(Uppercase(L"abC1"), L"ABC1");
    EXPECT_EQ(Lowercase(L"AbC1"), L"abc1");
    EXPECT_EQ(ReplaceUnderscores(L"a_b__c"), L"a b  c");
    EXPECT_EQ(RemoveSpaces(L" a b  c "), L"abc");
    EXPECT_EQ(Trim(L" \t a b \n"), L"a b");
    EXPECT_EQ(TrimLeft(L"  a "), L"a ");
    EXPECT_EQ(TrimRight(L"  a "), L"  a");
}

TEST(StringEdits, ReplaceinContinuesAfterEachReplacementAndIgnoresAnEmptySearch)
{
    std::wstring text = L"aXbXc";
    EXPECT_EQ(replacein(text, L"X", L"XX"), L"aXXbXXc");
    EXPECT_EQ(text, L"aXXbXXc");
    std::wstring unchanged = L"abc";
    EXPECT_EQ(replacein(unchanged, L"", L"z"), L"abc");
    std::wstring gone = L"aaaa";
    EXPECT_EQ(replacein(gone, L"aa", L""), L"");
}

TEST(StringEdits, LegalNamesKeepQuotesAndUnderscoreSpacesAndHyphens)
{
    std::wstring name = L"  my-var.name (1)! ";
    MakeLegalVariableName(name);
    EXPECT_EQ(name, L"my_varname_1");
    std::wstring kept = L"a\"b'c`d_e";
    MakeLegalVariableName(kept);
    EXPECT_EQ(kept, L"a\"b'c`d_e");

    std::wstring xml = L"say \"hi\" \\o/";
    MakeLegalXml(xml);
    EXPECT_EQ(xml, L"say hi o/");
}

TEST(StringEdits, QuotingOnlyWrapsTextWithSpaces)
{
    EXPECT_EQ(QuoteStringIfSpaces("a b"), "'a b'");
    EXPECT_EQ(QuoteStringIfSpaces("ab"), "ab");
    EXPECT_EQ(UnQuoteStringIfSpaces("'a b'"), "a b");
    EXPECT_EQ(UnQuoteStringIfSpaces("'ab'"), "'ab'");
    EXPECT_EQ(UnQuoteStringIfSpaces("' "), "' ");
    EXPECT_EQ(UnQuoteStringIfSpaces("'"), "'");
}

TEST(LookupEnum, FindsRowsByNameAndByValue)
{
    const TextToIntStruct2 table[] = {{"low", 1}, {"high", 2}, {"also-high", 2}};
    int value = 0;
    EXPECT_TRUE(LookupEnum("high", table, 3, -1, &value));
    EXPECT_EQ(value, 2);
    EXPECT_TRUE(LookupEnum("", table, 3, -1, &value));
    EXPECT_EQ(value, -1);
    EXPECT_FALSE(LookupEnum("none", table, 3, 7, &value));
    EXPECT_EQ(value, 7);
    EXPECT_EQ(LookupEnum(table, 3, 2), "high");
    EXPECT_EQ(LookupEnum(table, 3, 5), "");
}
