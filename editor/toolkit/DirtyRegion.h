#pragma once
// The parts of a frame that wait to be drawn: a few rectangles, merged when
// they overlap, and folded into one when there are too many.

#include <vector>

#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class DirtyRegion
{
public:
    void add(const CRect& rect);
    // Drops every rectangle that lies inside rect.
    void subtract(const CRect& rect);
    void clear() { rects_.clear(); }
    bool isEmpty() const { return rects_.empty(); }
    const std::vector<CRect>& rects() const { return rects_; }
    CRect bounds() const;

    static constexpr size_t kMaxRects = 16;

private:
    std::vector<CRect> rects_;
};

} // namespace VSTGUI
