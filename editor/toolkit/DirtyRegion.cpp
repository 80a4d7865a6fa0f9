#include "editor/toolkit/DirtyRegion.h"

namespace VSTGUI {

void DirtyRegion::add(const CRect& rect)
{
    if (rect.isEmpty())
        return;
    for (const CRect& r : rects_)
        if (r.rectInside(rect))
            return;
    // Swallow every rectangle that meets the new one, until none does.
    CRect merged = rect;
    for (bool grown = true; grown;)
    {
        grown = false;
        for (size_t i = 0; i < rects_.size(); ++i)
        {
            if (merged.rectOverlap(rects_[i]) || merged.rectInside(rects_[i]))
            {
                merged.unite(rects_[i]);
                rects_.erase(rects_.begin() + long(i));
                grown = true;
                break;
            }
        }
    }
    rects_.push_back(merged);
    if (rects_.size() > kMaxRects)
    {
        const CRect all = bounds();
        rects_.assign(1, all);
    }
}

void DirtyRegion::subtract(const CRect& rect)
{
    std::erase_if(rects_, [&](const CRect& r) { return rect.rectInside(r); });
}

CRect DirtyRegion::bounds() const
{
    CRect all;
    for (const CRect& r : rects_)
        all.unite(r);
    return all;
}

} // namespace VSTGUI
