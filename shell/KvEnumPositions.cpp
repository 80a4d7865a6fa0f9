#include "shell/KvEnumPositions.h"

#include <climits>

#include "core/it_enum_list.h"

KvEnumPositions::KvEnumPositions(const std::wstring& enumList) : list_(!enumList.empty())
{
    if (!list_)
        return;
    it_enum_list items(enumList);
    if (items.IsRange())
    {
        // A range may hold millions of choices: kept as its bounds.
        range_ = true;
        lo_ = items.RangeLo();
        hi_ = items.RangeHi();
        return;
    }
    for (items.First(); !items.IsDone(); items.Next())
        values_.push_back(items.CurrentItem()->value);
}

bool KvEnumPositions::Position(int64_t value, int32_t& position) const
{
    if (!list_)
    {
        if (value < INT32_MIN || value > INT32_MAX)
            return false;
        position = static_cast<int32_t>(value);
        return true;
    }
    if (range_)
    {
        const int64_t at = value - lo_;
        if (lo_ > hi_ || value < lo_ || value > hi_ || at > INT32_MAX)
            return false;
        position = static_cast<int32_t>(at);
        return true;
    }
    for (std::size_t i = 0; i < values_.size(); ++i)
    {
        if (values_[i] == value)
        {
            position = static_cast<int32_t>(i);
            return true;
        }
    }
    return false;
}

bool KvEnumPositions::Value(int64_t position, int32_t& value) const
{
    if (!list_)
        return Position(position, value);
    if (position < 0)
        return false;
    if (range_)
    {
        if (lo_ > hi_ || position > static_cast<int64_t>(hi_) - lo_)
            return false;
        value = static_cast<int32_t>(lo_ + position);
        return true;
    }
    if (position >= static_cast<int64_t>(values_.size()))
        return false;
    value = values_[static_cast<std::size_t>(position)];
    return true;
}
