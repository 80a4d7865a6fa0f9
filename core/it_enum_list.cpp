#include "core/it_enum_list.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "core/ValueRule.h"
#include "core/conversion.h"

namespace
{

// Wrapping increment: a list such as "a=2147483647,b" must not overflow.
int Increment(int value)
{
    return static_cast<int>(static_cast<unsigned>(value) + 1u);
}

// The lookups below read the list where it stands, the way the iterator
// does, without copying it or making item names: parameters use them on the
// audio thread.
bool RangeBounds(const std::wstring& listText, int& lo, int& hi)
{
    if (listText.compare(0, 5, L"range") != 0)
        return false;
    const wchar_t* text = listText.c_str();
    lo = listText.size() > 6 ? static_cast<int>(std::wcstol(text + 6, nullptr, 10)) : 0;
    const size_t comma = listText.find(L',');
    hi = comma == std::wstring::npos ? lo : static_cast<int>(std::wcstol(text + comma + 1, nullptr, 10));
    return true;
}

// Calls visit(index, value) for each item of a list (not a range) until it answers true.
template <class Visit>
bool VisitListItems(const std::wstring& listText, Visit visit)
{
    const wchar_t* text = listText.c_str();
    const size_t length = listText.size();
    int value = -1;
    int index = 0;
    for (size_t start = 0; start < length && index != INT_MAX; ++index)
    {
        size_t end = listText.find(L',', start);
        if (end == std::wstring::npos)
            end = length;
        value = Increment(value);
        for (size_t i = start; i < end; ++i)
        {
            if (text[i] == L'=')
            {
                value = static_cast<int>(std::wcstol(text + i + 1, nullptr, 10));
                break;
            }
        }
        if (visit(index, value))
            return true;
        start = end + 1;
    }
    return false;
}

// Position of the first item with this value.
bool FindInPlace(const std::wstring& listText, int value, int& index)
{
    int lo = 0;
    int hi = 0;
    if (RangeBounds(listText, lo, hi))
    {
        const int64_t at = static_cast<int64_t>(value) - lo;
        if (value < lo || value > hi || at > INT_MAX)
            return false;
        index = static_cast<int>(at);
        return true;
    }
    return VisitListItems(listText, [&](int i, int v) {
        index = i;
        return v == value;
    });
}

// Value of the item at this position.
bool ValueAtInPlace(const std::wstring& listText, int index, int& value)
{
    int lo = 0;
    int hi = 0;
    if (RangeBounds(listText, lo, hi))
    {
        if (index < 0 || lo > hi || index > static_cast<int64_t>(hi) - lo)
            return false;
        value = lo + index;
        return true;
    }
    return VisitListItems(listText, [&](int i, int v) {
        value = v;
        return i == index;
    });
}

// it_enum_list::size() without the iterator.
int SizeInPlace(const std::wstring& listText)
{
    int lo = 0;
    int hi = 0;
    if (RangeBounds(listText, lo, hi))
    {
        const int64_t span = static_cast<int64_t>(hi) - static_cast<int64_t>(lo);
        const int64_t count = (span < 0 ? -span : span) + 1;
        return count > INT_MAX ? INT_MAX : static_cast<int>(count);
    }
    if (listText.empty())
        return 0;
    int count = 1;
    for (size_t i = 1; i < listText.size(); ++i)
    {
        if (listText[i] == L',')
            ++count;
    }
    return count;
}

} // namespace

it_enum_list::it_enum_list(const std::wstring& listText) : listText_(listText)
{
    range_ = listText_.compare(0, 5, L"range") == 0;
    if (!range_)
        return;

    // "range" and one separator, then "lo,hi". Missing bounds read as 0.
    lo_ = listText_.size() > 6 ? StringToInt(listText_.substr(6)) : 0;
    const size_t comma = listText_.find(L',');
    hi_ = comma == std::wstring::npos ? lo_ : StringToInt(listText_.substr(comma + 1));
}

void it_enum_list::First()
{
    entry_.index = -1;
    if (range_)
    {
        // Stands for "value = lo - 1, then Next()" without overflowing at INT_MIN.
        if (lo_ > hi_)
            return;
        entry_.index = 0;
        entry_.value = lo_;
        entry_.text = IntToString(entry_.value);
        return;
    }
    lo_ = 0;
    entry_.value = -1;
    Next();
}

void it_enum_list::Next()
{
    if (range_)
    {
        if (entry_.index < 0 || entry_.value >= hi_ || entry_.index == INT_MAX)
        {
            entry_.index = -1;
            return;
        }
        ++entry_.index;
        ++entry_.value;
        entry_.text = IntToString(entry_.value);
        return;
    }

    if (lo_ < 0 || static_cast<size_t>(lo_) >= listText_.size() || entry_.index == INT_MAX)
    {
        entry_.index = -1;
        return;
    }
    ++entry_.index;
    entry_.value = Increment(entry_.value);

    const size_t start = static_cast<size_t>(lo_);
    size_t end = listText_.find(L',', start);
    if (end == std::wstring::npos)
        end = listText_.size();
    lo_ = static_cast<int>(end + 1);

    std::wstring name = listText_.substr(start, end - start);
    const size_t equals = name.find(L'=');
    if (equals != std::wstring::npos)
    {
        entry_.value = StringToInt(name.substr(equals + 1));
        name.resize(equals);
    }
    entry_.text = Trim(std::move(name));
}

int it_enum_list::size() const
{
    if (range_)
    {
        const int64_t span = static_cast<int64_t>(hi_) - static_cast<int64_t>(lo_);
        const int64_t count = (span < 0 ? -span : span) + 1;
        return count > INT_MAX ? INT_MAX : static_cast<int>(count);
    }
    if (listText_.empty())
        return 0;
    int count = 1;
    for (size_t i = 1; i < listText_.size(); ++i)
    {
        if (listText_[i] == L',')
            ++count;
    }
    return count;
}

bool it_enum_list::FindValue(int value)
{
    if (range_)
    {
        // Same result as stepping, without walking a range of millions of items.
        const int64_t index = static_cast<int64_t>(value) - lo_;
        if (value < lo_ || value > hi_ || index > INT_MAX)
        {
            entry_.index = -1;
            return false;
        }
        entry_.index = static_cast<int>(index);
        entry_.value = value;
        entry_.text = IntToString(value);
        return true;
    }
    for (First(); !IsDone(); Next())
    {
        if (entry_.value == value)
            return true;
    }
    return false;
}

bool it_enum_list::FindIndex(int index)
{
    if (range_)
    {
        if (index < 0 || lo_ > hi_ || index > static_cast<int64_t>(hi_) - lo_)
        {
            entry_.index = -1;
            return false;
        }
        entry_.index = index;
        entry_.value = lo_ + index;
        entry_.text = IntToString(entry_.value);
        return true;
    }
    for (First(); !IsDone(); Next())
    {
        if (entry_.index == index)
            return true;
    }
    return false;
}

bool it_enum_list::IsValidValue(const std::wstring& listText, int value)
{
    int index = 0;
    return FindInPlace(listText, value, index);
}

int it_enum_list::ForceValidValue(const std::wstring& listText, int value)
{
    it_enum_list it(listText);
    if (it.FindValue(value))
        return value;
    it.First();
    return it.IsDone() ? 0 : it.CurrentItem()->value;
}

int it_enum_list::StringToInt(const std::wstring& text, int base)
{
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, base));
}

std::wstring enum_get_substring(const std::wstring& listText, int value)
{
    it_enum_list it(listText);
    if (it.IsRange())
        return IntToString(value);
    return it.FindValue(value) ? it.CurrentItem()->text : std::wstring();
}

bool enums_are_compatible(const std::wstring& a, const std::wstring& b)
{
    it_enum_list itA(a);
    it_enum_list itB(b);
    if (itA.IsRange() && itB.IsRange())
    {
        const bool emptyA = itA.RangeLo() > itA.RangeHi();
        const bool emptyB = itB.RangeLo() > itB.RangeHi();
        if (emptyA || emptyB)
            return emptyA == emptyB;
        return itA.RangeLo() == itB.RangeLo() && itA.RangeHi() == itB.RangeHi();
    }

    itA.First();
    itB.First();
    while (!itA.IsDone() && !itB.IsDone())
    {
        if (itA.CurrentItem()->value != itB.CurrentItem()->value)
            return false;
        itA.Next();
        itB.Next();
    }
    return itA.IsDone() && itB.IsDone();
}

int get_enum_range_lo(const std::wstring& listText)
{
    it_enum_list it(listText);
    it.First();
    return it.IsDone() ? 0 : it.CurrentItem()->value;
}

int get_enum_range_hi(const std::wstring& listText)
{
    it_enum_list it(listText);
    if (it.IsRange())
        return it.RangeHi();
    int last = 0;
    for (it.First(); !it.IsDone(); it.Next())
        last = it.CurrentItem()->value;
    return last;
}

float enum_to_normalised(const std::wstring& listText, int value)
{
    return static_cast<float>(EnumNormalized(listText, value));
}

double EnumNormalized(const std::wstring& listText, int value)
{
    const int count = SizeInPlace(listText);
    int index = 0;
    if (count < 2 || !FindInPlace(listText, value, index))
        return 0.0;
    return static_cast<double>(index) / static_cast<double>(count - 1);
}

int normalised_to_enum(const std::wstring& listText, double normalised)
{
    const int count = SizeInPlace(listText);
    if (count < 1)
        return 0;
    // NaN and negative positions give item 0, past the end the last.
    const auto index = static_cast<int>(ValueRule::WholePlain(normalised, 0.0, count - 1.0));
    int value = 0;
    return ValueAtInPlace(listText, index, value) ? value : 0;
}

bool IsValidValue(const std::wstring& listText, int value)
{
    return it_enum_list::IsValidValue(listText, value);
}

int ForceValidValue(const std::wstring& listText, int value)
{
    return it_enum_list::ForceValidValue(listText, value);
}
