#include "editor/toolkit/CGraphicsPath.h"

namespace VSTGUI {

void CGraphicsPath::beginSubpath(const CPoint& start)
{
    elements_.push_back({Kind::kBegin, start});
}

void CGraphicsPath::addLine(const CPoint& to)
{
    // A line without a subpath starts one where it begins.
    if (elements_.empty())
        elements_.push_back({Kind::kBegin, to});
    elements_.push_back({Kind::kLine, to});
}

void CGraphicsPath::addRect(const CRect& rect)
{
    beginSubpath(rect.getTopLeft());
    addLine(CPoint(rect.right, rect.top));
    addLine(CPoint(rect.right, rect.bottom));
    addLine(CPoint(rect.left, rect.bottom));
    closeSubpath();
}

void CGraphicsPath::closeSubpath()
{
    if (!elements_.empty())
        elements_.push_back({Kind::kClose, CPoint()});
}

CRect CGraphicsPath::getBoundingBox() const
{
    CRect box;
    bool first = true;
    for (const Element& e : elements_)
    {
        if (e.kind == Kind::kClose)
            continue;
        if (first)
            box = CRect(e.point.x, e.point.y, e.point.x, e.point.y);
        first = false;
        box.left = std::min(box.left, e.point.x);
        box.top = std::min(box.top, e.point.y);
        box.right = std::max(box.right, e.point.x);
        box.bottom = std::max(box.bottom, e.point.y);
    }
    return box;
}

void CGraphicsPath::applyTo(cairo_t* cr) const
{
    cairo_new_path(cr);
    for (const Element& e : elements_)
    {
        switch (e.kind)
        {
        case Kind::kBegin:
            cairo_move_to(cr, e.point.x, e.point.y);
            break;
        case Kind::kLine:
            cairo_line_to(cr, e.point.x, e.point.y);
            break;
        case Kind::kClose:
            cairo_close_path(cr);
            break;
        }
    }
}

} // namespace VSTGUI
