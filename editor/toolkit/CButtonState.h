#pragma once
// Mouse buttons and modifier keys of a mouse event, as one bit set.

#include <cstdint>

namespace VSTGUI {

enum CButton : int32_t
{
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kButton4 = 1 << 8,
    kButton5 = 1 << 9,
    kDoubleClick = 1 << 10,
};

class CButtonState
{
public:
    CButtonState(int32_t state = 0) : state_(state) {}

    int32_t getButtonState() const { return state_ & (kLButton | kMButton | kRButton | kButton4 | kButton5); }
    int32_t getModifierState() const { return state_ & (kShift | kControl | kAlt | kApple); }
    bool isLeftButton() const { return (state_ & kLButton) != 0; }
    bool isRightButton() const { return (state_ & kRButton) != 0; }
    bool isDoubleClick() const { return (state_ & kDoubleClick) != 0; }

    int32_t operator()() const { return state_; }
    int32_t operator&(int32_t mask) const { return state_ & mask; }
    bool operator==(int32_t s) const { return state_ == s; }
    bool operator!=(int32_t s) const { return state_ != s; }

private:
    int32_t state_;
};

} // namespace VSTGUI
