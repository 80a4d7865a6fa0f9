#pragma once
// Drawing onto a cairo context: colours, line width, draw mode, rectangles,
// lines, paths, text and bitmaps, a clip rectangle and a stack of transforms.
// UI thread only.
//
// Coordinates: a view draws in the coordinates of its parent container; the
// container translates the context for its children. The clip rectangle is
// kept in the coordinates of the surface and always lies inside the limit the
// painter set (the region being repainted).

#include <vector>

#include <cairo.h>

#include "editor/toolkit/CColor.h"
#include "editor/toolkit/CGraphicsTransform.h"
#include "editor/toolkit/CRect.h"

typedef struct _PangoLayout PangoLayout;

namespace VSTGUI {

enum CDrawModeFlags : int32_t
{
    kAliasing = 0,
    kAntiAliasing = 1,
};
using CDrawMode = int32_t;

enum CDrawStyle : int32_t
{
    kDrawStroked = 0,
    kDrawFilled = 1,
    kDrawFilledAndStroked = 2,
};

class CDrawContext
{
public:
    enum PathDrawMode : int32_t
    {
        kPathFilled = 0,
        kPathFilledEvenOdd = 1,
        kPathStroked = 2,
    };

    // Pushes a transform for the lifetime of the object.
    class Transform
    {
    public:
        Transform(CDrawContext& context, const CGraphicsTransform& transform);
        ~Transform();
        Transform(const Transform&) = delete;
        Transform& operator=(const Transform&) = delete;

    private:
        CDrawContext& context_;
    };

    // Draws onto cr (which stays the caller's); surfaceRect is the drawable
    // area in surface coordinates and the first clip limit.
    CDrawContext(cairo_t* cr, const CRect& surfaceRect);
    virtual ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setFrameColor(const CColor& color) { state_.frameColor = color; }
    const CColor& getFrameColor() const { return state_.frameColor; }
    void setFillColor(const CColor& color) { state_.fillColor = color; }
    const CColor& getFillColor() const { return state_.fillColor; }
    void setFontColor(const CColor& color) { state_.fontColor = color; }
    const CColor& getFontColor() const { return state_.fontColor; }
    void setLineWidth(CCoord width) { state_.lineWidth = width; }
    CCoord getLineWidth() const { return state_.lineWidth; }
    void setDrawMode(CDrawMode mode) { state_.drawMode = mode; }
    CDrawMode getDrawMode() const { return state_.drawMode; }

    // The font to draw text with; size > 0 and style >= 0 replace the font's own.
    void setFont(const CFontDesc* font, CCoord size = 0, int32_t style = -1);
    const CFontDesc* getFont() const { return state_.font; }

    // Stroked rectangles lie inside rect; filled ones cover it exactly.
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawLine(const CPoint& start, const CPoint& end);
    // The caller owns the new path (forget it).
    CGraphicsPath* createGraphicsPath();
    void drawGraphicsPath(CGraphicsPath* path, PathDrawMode mode = kPathFilled, CGraphicsTransform* transform = nullptr);
    // One line of UTF-8 text in rect, its cap height centred vertically.
    void drawString(UTF8StringPtr string, const CRect& rect, CHoriTxtAlign align = kCenterText, bool antialias = true);
    CCoord getStringWidth(UTF8StringPtr string);
    // Copies the part of the bitmap's pixels at offset into dest.
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(), float alpha = 1.f);

    // The clip rectangle, in the current coordinates.
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const;
    void resetClipRect();

    void saveGlobalState();
    void restoreGlobalState();

    // Limits every clip to rect (surface coordinates): the region being
    // repainted. Painters set it; views do not.
    void setClipLimit(const CRect& rect);
    const CGraphicsTransform& getCurrentTransform() const { return state_.transform; }
    const CRect& getSurfaceRect() const { return surfaceRect_; }
    cairo_t* getCairo() const { return cr_; }

private:
    struct State
    {
        CColor frameColor = kBlackCColor;
        CColor fillColor = kWhiteCColor;
        CColor fontColor = kWhiteCColor;
        CCoord lineWidth = 1;
        CDrawMode drawMode = kAliasing;
        const CFontDesc* font = nullptr; // remembered
        CCoord fontSize = 0;
        int32_t fontStyle = -1;
        CRect clip;   // surface coordinates
        CRect limit;  // surface coordinates
        CGraphicsTransform transform;
    };

    void pushTransform(const CGraphicsTransform& transform);
    void popTransform();
    void applyClip();
    void applyMatrix();
    void applyColor(const CColor& color);
    void applyStroke();
    PangoLayout* layoutFor(UTF8StringPtr string, bool antialias);
    void setStateFont(State& state, const CFontDesc* font);

    cairo_t* cr_;
    CRect surfaceRect_;
    State state_;
    std::vector<State> saved_;
    std::vector<CGraphicsTransform> transforms_;
    PangoLayout* layout_ = nullptr;
};

} // namespace VSTGUI
