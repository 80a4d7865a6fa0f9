#include "core/it_enum_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace
{
using Items = std::vector<std::pair<std::wstring, int>>;

Items Walk(const std::wstring& text)
{
    Items items;
    it_enum_list it(text);
    for (it.First(); !it.IsDone(); it.Next())
    {
        EXPECT_EQ(it.CurrentItem()->index, static_cast<int>(items.size()));
        items.emplace_back(it.CurrentItem()->text, it.CurrentItem()->value);
    }
    return items;
}
} // namespace

TEST(EnumList, ItemsWithoutValuesCountOnFromThePreviousItem)
{
    EXPECT_EQ(Walk(L"a,b,c"), (Items{{L"a", 0}, {L"b", 1}, {L"c", 2}}));
    EXPECT_EQ(Walk(L"a=5,b"), (Items{{L"a", 5}, {L"b", 6}}));
    EXPECT_EQ(Walk(L"Sine=0,Saw=2,Square"), (Items{{L"Sine", 0}, {L"Saw", 2}, {L"Square", 3}}));
    EXPECT_EQ(Walk(L"x=abc"), (Items{{L"x", 0}}));
    EXPECT_EQ(Walk(L" Off , On = 7 "), (Items{{L"Off", 0}, {L"On", 7}}));
    EXPECT_EQ(Walk(L"All=-1,1,2"), (Items{{L"All", -1}, {L"1", 0}, {L"2", 1}}));
    EXPECT_EQ(it_enum_list(L"a,b,c").size(), 3);
}

TEST(EnumList, SizeCountsCommasWhileIterationSkipsATrailingEmptyItem)
{
    EXPECT_EQ(Walk(L"a,b,"), (Items{{L"a", 0}, {L"b", 1}}));
    EXPECT_EQ(it_enum_list(L"a,b,").size(), 3);
    EXPECT_EQ(Walk(L",a"), (Items{{L"", 0}, {L"a", 1}}));
    EXPECT_EQ(it_enum_list(L",a").size(), 1);
    EXPECT_TRUE(Walk(L"").empty());
    EXPECT_EQ(it_enum_list(L"").size(), 0);
}

TEST(EnumList, RangeFormNamesEachValueInDecimal)
{
    const Items items = Walk(L"range 1,128");
    ASSERT_EQ(items.size(), 128u);
    EXPECT_EQ(items.front(), (std::pair<std::wstring, int>{L"1", 1}));
    EXPECT_EQ(items.back(), (std::pair<std::wstring, int>{L"128", 128}));
    EXPECT_EQ(it_enum_list(L"range 1,128").size(), 128);

    EXPECT_TRUE(Walk(L"range 3,1").empty());
    EXPECT_EQ(it_enum_list(L"range 3,1").size(), 3);
    EXPECT_EQ(Walk(L"range 5"), (Items{{L"5", 5}}));
    EXPECT_EQ(Walk(L"range -1,1"), (Items{{L"-1", -1}, {L"0", 0}, {L"1", 1}}));
}

TEST(EnumList, RangeWithoutReadableBoundsUsesZero)
{
    EXPECT_EQ(Walk(L"range"), (Items{{L"0", 0}}));
    EXPECT_EQ(Walk(L"range "), (Items{{L"0", 0}}));
    EXPECT_EQ(Walk(L"range x,"), (Items{{L"0", 0}}));
    EXPECT_EQ(Walk(L"range ,3"), (Items{{L"0", 0}, {L"1", 1}, {L"2", 2}, {L"3", 3}}));
    EXPECT_FALSE(it_enum_list(L"rang").IsRange());
}

TEST(EnumList, ExtremeValuesDoNotOverflow)
{
    EXPECT_EQ(Walk(L"a=2147483647,b"), (Items{{L"a", INT_MAX}, {L"b", INT_MIN}}));
    EXPECT_EQ(Walk(L"range -2147483648,-2147483647"), (Items{{L"-2147483648", INT_MIN}, {L"-2147483647", INT_MIN + 1}}));
    EXPECT_EQ(Walk(L"range 2147483646,2147483647").size(), 2u);
    EXPECT_EQ(it_enum_list(L"range -2147483648,2147483647").size(), INT_MAX);
}

TEST(EnumList, FindByValueAndByIndexAgreeWithStepping)
{
    for (const std::wstring text : {L"a=3,b,c=-2,d", L"range -3,4", L"range 2,0"})
    {
        const Items items = Walk(text);
        it_enum_list it(text);
        for (int i = -1; i <= static_cast<int>(items.size()); ++i)
        {
            const bool exists = i >= 0 && i < static_cast<int>(items.size());
            ASSERT_EQ(it.FindIndex(i), exists);
            if (exists)
            {
                EXPECT_EQ(it.CurrentItem()->value, items[static_cast<size_t>(i)].second);
                EXPECT_EQ(it.CurrentItem()->text, items[static_cast<size_t>(i)].first);
                ASSERT_TRUE(it.FindValue(items[static_cast<size_t>(i)].second));
                EXPECT_EQ(it.CurrentItem()->index, i);
            }
        }
        EXPECT_FALSE(it.FindValue(100));
        EXPECT_TRUE(it.IsDone());
    }
}

TEST(EnumList, ValidityChecksFallBackToTheFirstItem)
{
    EXPECT_TRUE(IsValidValue(L"a=5,b", 6));
    EXPECT_FALSE(IsValidValue(L"a=5,b", 7));
    EXPECT_EQ(ForceValidValue(L"a=5,b", 6), 6);
    EXPECT_EQ(ForceValidValue(L"a=5,b", 7), 5);
    EXPECT_EQ(ForceValidValue(L"", 7), 0);
    EXPECT_EQ(ForceValidValue(L"range 10,20", 3), 10);
    EXPECT_TRUE(it_enum_list::IsValidValue(L"range 10,20", 20));
}

TEST(EnumList, SubstringAndRangeBounds)
{
    EXPECT_EQ(enum_get_substring(L"Off,On", 1), L"On");
    EXPECT_EQ(enum_get_substring(L"Off,On", 2), L"");
    EXPECT_EQ(enum_get_substring(L"range 1,4", 99), L"99");
    EXPECT_EQ(get_enum_range_lo(L"b=4,c=9,d=2"), 4);
    EXPECT_EQ(get_enum_range_hi(L"b=4,c=9,d=2"), 2);
    EXPECT_EQ(get_enum_range_lo(L""), 0);
    EXPECT_EQ(get_enum_range_hi(L""), 0);
    EXPECT_EQ(get_enum_range_lo(L"range 1,128"), 1);
    EXPECT_EQ(get_enum_range_hi(L"range 1,128"), 128);
}

TEST(EnumList, CompatibilityComparesValueSequencesOnly)
{
    EXPECT_TRUE(enums_are_compatible(L"a,b", L"x=0,y=1"));
    EXPECT_FALSE(enums_are_compatible(L"a,b", L"a,b,c"));
    EXPECT_FALSE(enums_are_compatible(L"a,b", L"a=1,b"));
    EXPECT_TRUE(enums_are_compatible(L"range 0,2", L"a,b,c"));
    EXPECT_TRUE(enums_are_compatible(L"range 1,3", L"range 1,3"));
    EXPECT_FALSE(enums_are_compatible(L"range 1,3", L"range 1,4"));
    EXPECT_TRUE(enums_are_compatible(L"range 3,1", L""));
    EXPECT_TRUE(enums_are_compatible(L"range 3,1", L"range 9,2"));
}

TEST(EnumList, NormalisedPositionsMapToItems)
{
    EXPECT_FLOAT_EQ(enum_to_normalised(L"a,b,c", 1), 0.5f);
    EXPECT_FLOAT_EQ(enum_to_normalised(L"a,b,c", 2), 1.0f);
    EXPECT_EQ(enum_to_normalised(L"a,b,c", 9), 0.0f);
    EXPECT_EQ(enum_to_normalised(L"a", 0), 0.0f);

    const std::wstring list = L"a=10,b=20,c=30";
    EXPECT_EQ(normalised_to_enum(list, 0.0f), 10);
    EXPECT_EQ(normalised_to_enum(list, 0.34f), 20);
    EXPECT_EQ(normalised_to_enum(list, 1.0f), 30);
    EXPECT_EQ(normalised_to_enum(list, 5.0f), 30);
    EXPECT_EQ(normalised_to_enum(list, -0.5f), 10);
    EXPECT_EQ(normalised_to_enum(list, std::nanf("")), 10);
    EXPECT_EQ(normalised_to_enum(L"", 0.5f), 0);
    EXPECT_EQ(normalised_to_enum(L"range 0,9", 0.55f), 5);

    for (int v : {10, 20, 30})
        EXPECT_EQ(normalised_to_enum(list, enum_to_normalised(list, v)), v);
}

// The lookups that parameters make on the audio thread read the list in
// place; they must agree with the iterator on every form it reads.
TEST(ItEnumList, LookupsWithoutTheIteratorAgreeWithIt)
{
    const wchar_t* lists[] = {L"",          L",a",         L"a=5,b",      L"a, b = 3 ,c", L"range 1,4",
                              L"range 5,1", L"x=2147483647,y", L"a=-3,b,c=7", L"a=,b",      L"range"};
    for (const wchar_t* list : lists)
    {
        it_enum_list it(list);
        const int count = it.size();
        for (int value : {-4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, INT_MAX, INT_MIN})
        {
            const bool found = it.FindValue(value);
            EXPECT_EQ(IsValidValue(list, value), found) << list << " " << value;
            const float expected =
                count < 2 || !found ? 0.0f : static_cast<float>(it.CurrentItem()->index) / static_cast<float>(count - 1);
            EXPECT_EQ(enum_to_normalised(list, value), expected) << list << " " << value;
        }
        for (int step = 0; step <= 10; ++step)
        {
            const float normalised = static_cast<float>(step) / 10.0f;
            const double position = static_cast<double>(normalised) * count;
            const int index = position >= count - 1 ? count - 1 : (position > 0.0 ? static_cast<int>(position) : 0);
            const int expected = count < 1 ? 0 : (it.FindIndex(index) ? it.CurrentItem()->value : 0);
            EXPECT_EQ(normalised_to_enum(list, normalised), expected) << list << " " << normalised;
        }
    }
}
