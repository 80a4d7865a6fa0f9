#pragma once
// How the values of an int parameter with a list of choices stand on the
// host's side: the host counts the choices by their position in the list
// (from 0), the engine and the editor by their values ("Sine=0,Saw=5,Square":
// value 5 is position 1). Every crossing between the two goes through here.
//
// Threads: made on the UI thread; Position and Value allocate nothing and
// may be called from the audio thread.

#include <cstdint>
#include <string>
#include <vector>

class KvEnumPositions
{
public:
    // No list: every value is its own position.
    KvEnumPositions() = default;
    explicit KvEnumPositions(const std::wstring& enumList);

    bool HasList() const { return list_; }
    // The position of the first choice with that value; false when none has it.
    bool Position(int64_t value, int32_t& position) const;
    // The value of the choice at that position; false when there is none.
    bool Value(int64_t position, int32_t& value) const;

private:
    bool list_ = false;
    bool range_ = false;
    int32_t lo_ = 0;
    int32_t hi_ = 0;
    std::vector<int32_t> values_;
};
