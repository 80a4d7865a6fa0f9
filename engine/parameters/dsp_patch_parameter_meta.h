#pragma once
// Metadata of the typed patch parameters: a range for numbers, an enum list
// for enums, a file extension for text; nothing for bool and blob.

#include <string>

#include "core/it_enum_list.h"

class MetaData_none
{
public:
    virtual ~MetaData_none() = default;
    // -1: no metadata field of any kind.
    virtual int GetDatatype(int /*field*/, int* type) const
    {
        if (type)
            *type = 0;
        return -1;
    }
};

template <typename T>
class MetaData_ranged
{
public:
    virtual ~MetaData_ranged() = default;
    virtual void OnMetaDataChanged() {}
    virtual int GetDatatype(int /*field*/, int* type) const;
    T getRangeMinimum() const { return minimum_; }
    T getRangeMaximum() const { return maximum_; }
    void setRange(T minimum, T maximum)
    {
        minimum_ = minimum;
        maximum_ = maximum;
    }

protected:
    T maximum_ = static_cast<T>(10);
    T minimum_ = static_cast<T>(0);
};

template <>
inline int MetaData_ranged<float>::GetDatatype(int /*field*/, int* type) const
{
    if (type)
        *type = 6;
    return 0;
}

template <>
inline int MetaData_ranged<int>::GetDatatype(int /*field*/, int* type) const
{
    if (type)
        *type = 8;
    return 0;
}

class MetaData_enum
{
public:
    static constexpr int kEnumListField = 7;

    virtual ~MetaData_enum() = default;
    virtual const std::wstring& getEnumList() const { return enumList_; }
    virtual std::wstring getMetaValue() const { return enumList_; }
    virtual void setEnumList(const std::wstring& list)
    {
        if (list == enumList_)
            return;
        enumList_ = list;
        OnMetaDataChanged();
    }
    virtual void OnMetaDataChanged() {}
    virtual int GetDatatype(int field, int* type) const
    {
        if (field != kEnumListField)
            return -1;
        if (type)
            *type = 1;
        return 0;
    }
    int getRangeMinimum() const { return get_enum_range_lo(enumList_); }
    int getRangeMaximum() const { return get_enum_range_hi(enumList_); }

protected:
    std::wstring enumList_;
};

class MetaData_filename
{
public:
    virtual ~MetaData_filename() = default;
    virtual std::wstring getMetaValue() const { return fileExtension_; }
    virtual void OnMetaDataChanged() {}
    virtual int GetDatatype(int /*field*/, int* type) const
    {
        if (type)
            *type = 1;
        return 0;
    }

protected:
    std::wstring fileExtension_;
};
