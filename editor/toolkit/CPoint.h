#pragma once
// A point in view coordinates (doubles, y grows downwards).

#include "editor/toolkit/VSTGUIFwd.h"

namespace VSTGUI {

struct CPoint
{
    CCoord x = 0;
    CCoord y = 0;

    CPoint() = default;
    CPoint(CCoord px, CCoord py) : x(px), y(py) {}

    CPoint& offset(CCoord dx, CCoord dy)
    {
        x += dx;
        y += dy;
        return *this;
    }
    CPoint& operator+=(const CPoint& p) { return offset(p.x, p.y); }
    CPoint& operator-=(const CPoint& p) { return offset(-p.x, -p.y); }
    CPoint operator+(const CPoint& p) const { return CPoint(x + p.x, y + p.y); }
    CPoint operator-(const CPoint& p) const { return CPoint(x - p.x, y - p.y); }
    bool operator==(const CPoint& p) const { return x == p.x && y == p.y; }
    bool operator!=(const CPoint& p) const { return !(*this == p); }
};

} // namespace VSTGUI
