#include "core/SafeXmlText.h"

#include <gtest/gtest.h>

#include <string>

#include "core/CModuleFactory.h"

TEST(SafeXmlText, AcceptsOrdinaryTextWithWholeMultiByteCharacters)
{
    EXPECT_TRUE(IsSafeXmlText("<a name=\"caf\xC3\xA9\"/>"));
    EXPECT_TRUE(IsSafeXmlText("<a>\xF0\x9F\x98\x80</a>"));
    EXPECT_TRUE(IsSafeXmlText(""));
}

TEST(SafeXmlText, RefusesACharacterCutOffAtTheEnd)
{
    // The parser would step over the whole character and read past the text.
    EXPECT_FALSE(IsSafeXmlText("<a/>\xF0\x9F\x98"));
    EXPECT_FALSE(IsSafeXmlText("<a/>\xE2\x82"));
    EXPECT_FALSE(IsSafeXmlText("<a/>\xC3"));
}

TEST(SafeXmlText, RefusesZeroBytesAndNestingTheParserCannotTake)
{
    EXPECT_FALSE(IsSafeXmlText(std::string("<a>\0</a>", 8)));
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<a>";
    EXPECT_FALSE(IsSafeXmlText(deep));
}

TEST(SafeXmlText, ModuleXmlEndingInsideACharacterIsNotReadAndIsReported)
{
    CModuleFactory* factory = CModuleFactory::Instance();
    factory->RegisterPluginsXml("<PluginList><Plugin id=\"Cut\xE2\x82");
    EXPECT_EQ(factory->GetById(L"Cut"), nullptr);
    const auto after = factory->Diagnostics();
    ASSERT_FALSE(after.empty());
    EXPECT_NE(after.back().find(L"ends inside a character"), std::wstring::npos);
}
