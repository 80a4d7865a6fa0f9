#pragma once
// Iterator over the text form of an enum list: either comma-separated items,
// each a name with an optional "=value" ("Off,On", "Sine=0,Saw=2,Square"),
// or "range lo,hi" whose items are the numbers lo..hi named in decimal.
//
//   it_enum_list it(text);
//   for (it.First(); !it.IsDone(); it.Next())
//       use(it.CurrentItem()->value, it.CurrentItem()->text);

#include <string>

struct enum_entry
{
    int index = -1; // position from 0; -1 past the end
    int value = 0;
    std::wstring text;
};

class it_enum_list
{
public:
    explicit it_enum_list(const std::wstring& listText);

    void First();
    void Next();
    bool IsDone() const { return entry_.index == -1; }
    const enum_entry* CurrentItem() const { return &entry_; }

    // Range form: |hi - lo| + 1. List form: 1 + the commas after the first character.
    int size() const;
    bool IsRange() const { return range_; }
    int RangeLo() const { return range_ ? lo_ : 0; }
    int RangeHi() const { return range_ ? hi_ : 0; }

    // Rewind and step to the first item with that value / position; false at the end.
    bool FindValue(int value);
    bool FindIndex(int index);

    static bool IsValidValue(const std::wstring& listText, int value);
    // The value when valid, else the first item's value, else 0.
    static int ForceValidValue(const std::wstring& listText, int value);
    static int StringToInt(const std::wstring& text, int base = 10);

private:
    std::wstring listText_;
    enum_entry entry_;
    bool range_ = false;
    int lo_ = 0; // range form: low bound; list form: parse position
    int hi_ = 0;
};

// Name of the item with that value (range form: the value in decimal), or empty text.
std::wstring enum_get_substring(const std::wstring& listText, int value);
// Both lists give the same sequence of values (names are not compared).
bool enums_are_compatible(const std::wstring& a, const std::wstring& b);
int get_enum_range_lo(const std::wstring& listText);
int get_enum_range_hi(const std::wstring& listText);
// Item position / (size - 1); 0 when not found or size < 2.
float enum_to_normalised(const std::wstring& listText, int value);
// The same, whole: a host's list position as a double.
double EnumNormalized(const std::wstring& listText, int value);
// Value of the item at position normalised * size, clamped to 0..size-1
// (the host's reading of a list, ValueRule::WholePlain).
int normalised_to_enum(const std::wstring& listText, double normalised);
bool IsValidValue(const std::wstring& listText, int value);
int ForceValidValue(const std::wstring& listText, int value);
