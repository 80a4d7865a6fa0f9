#pragma once
// A path of straight subpaths, made by a draw context and drawn by it.
// UI thread only.

#include <vector>

#include <cairo.h>

#include "editor/toolkit/CBaseObject.h"
#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class CGraphicsPath : public CBaseObject
{
public:
    CGraphicsPath() = default;

    void beginSubpath(const CPoint& start);
    void addLine(const CPoint& to);
    void addRect(const CRect& rect);
    void closeSubpath();
    bool isEmpty() const { return elements_.empty(); }
    CRect getBoundingBox() const;

    // Replays the path onto cr in its current user space.
    void applyTo(cairo_t* cr) const;

private:
    enum class Kind
    {
        kBegin,
        kLine,
        kClose
    };
    struct Element
    {
        Kind kind;
        CPoint point;
    };
    std::vector<Element> elements_;
};

} // namespace VSTGUI
