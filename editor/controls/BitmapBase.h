#pragma once
// What the skin-image controls share: drawing one skin image by its draw
// mode, hit testing on its opaque pixels, and turning presses and drags into
// a new value between 0 and 1 by its mouse mode. It knows nothing of pins:
// the control passes in its value and rectangle and takes back the new value.
// Points and rectangles are in the parent's coordinates. UI thread only.

#include "editor/SkinBitmapInfo.h"
#include "editor/toolkit/CButtonState.h"
#include "editor/toolkit/CPoint.h"
#include "editor/toolkit/CRect.h"

namespace VSTGUI
{
class CBitmap;
class CDrawContext;
class CView;
} // namespace VSTGUI

class BitmapBase
{
public:
    // Mouse modes; any other is a horizontal drag.
    static constexpr int32_t kVerticalDrag = 0;
    static constexpr int32_t kToggle = 2;
    static constexpr int32_t kRotary = 3;
    static constexpr int32_t kNextFrame = 4;
    // Draw modes; any other is a frame strip.
    static constexpr int32_t kMovingHandle = 0;
    static constexpr int32_t kSplitLine = 3;

    BitmapBase() = default;
    BitmapBase(const BitmapBase& other);
    BitmapBase& operator=(const BitmapBase&) = delete;
    virtual ~BitmapBase();

    // UI: each returns the new value (onMouseMoved clamps to 0..1).
    float onMouseDown(VSTGUI::CPoint& where, float value);
    float onMouseUp(VSTGUI::CPoint& where, float value);
    float onMouseMoved(VSTGUI::CView* view, VSTGUI::CPoint& where, float value);
    bool hitTest(const VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons, float value,
                 VSTGUI::CRect viewRect);
    void draw(VSTGUI::CDrawContext* context, float value, VSTGUI::CRect viewRect);

    // UI: takes one reference to bitmap (may be null), forgetting the one held.
    void SetBitmap(VSTGUI::CBitmap* bitmap);
    VSTGUI::CBitmap* Bitmap() const { return bitmap; }
    // The number of whole frames in the strip (0 without a bitmap or frame height).
    int32_t FrameCount() const;

    float rotaryAccumulator = 0.0f;
    SkinBitmapInfo bitmapInfo;

protected:
    // The frame shown for a value: rounded to the nearest of the strip.
    int32_t FrameOf(float value) const;

    VSTGUI::CBitmap* bitmap = nullptr;
    VSTGUI::CPoint lastPoint;
};
