#pragma once
// An affine transform of points: x' = m11 x + m12 y + dx, y' = m21 x + m22 y + dy.

#include "editor/toolkit/CRect.h"

namespace VSTGUI {

struct CGraphicsTransform
{
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    CGraphicsTransform& translate(double x, double y)
    {
        dx += x;
        dy += y;
        return *this;
    }
    CGraphicsTransform& translate(const CPoint& p) { return translate(p.x, p.y); }
    CGraphicsTransform& scale(double sx, double sy)
    {
        m11 *= sx;
        m12 *= sx;
        dx *= sx;
        m21 *= sy;
        m22 *= sy;
        dy *= sy;
        return *this;
    }
    // This transform applied after t.
    CGraphicsTransform operator*(const CGraphicsTransform& t) const
    {
        CGraphicsTransform r;
        r.m11 = m11 * t.m11 + m12 * t.m21;
        r.m12 = m11 * t.m12 + m12 * t.m22;
        r.m21 = m21 * t.m11 + m22 * t.m21;
        r.m22 = m21 * t.m12 + m22 * t.m22;
        r.dx = m11 * t.dx + m12 * t.dy + dx;
        r.dy = m21 * t.dx + m22 * t.dy + dy;
        return r;
    }
    CPoint& transform(CPoint& p) const
    {
        const double x = m11 * p.x + m12 * p.y + dx;
        const double y = m21 * p.x + m22 * p.y + dy;
        p.x = x;
        p.y = y;
        return p;
    }
    // The bounding box of the transformed rectangle.
    CRect& transform(CRect& r) const
    {
        CPoint a(r.left, r.top), b(r.right, r.top), c(r.left, r.bottom), d(r.right, r.bottom);
        transform(a), transform(b), transform(c), transform(d);
        r = CRect(std::min({a.x, b.x, c.x, d.x}), std::min({a.y, b.y, c.y, d.y}),
                  std::max({a.x, b.x, c.x, d.x}), std::max({a.y, b.y, c.y, d.y}));
        return r;
    }
    CGraphicsTransform inverse() const
    {
        CGraphicsTransform r;
        const double det = m11 * m22 - m12 * m21;
        if (det == 0)
            return r;
        r.m11 = m22 / det;
        r.m12 = -m12 / det;
        r.m21 = -m21 / det;
        r.m22 = m11 / det;
        r.dx = -(r.m11 * dx + r.m12 * dy);
        r.dy = -(r.m21 * dx + r.m22 * dy);
        return r;
    }
};

} // namespace VSTGUI
