#include "editor/controls/BitmapBase.h"

#include <algorithm>
#include <cmath>

#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CBitmapPixelAccess.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CView.h"

using namespace VSTGUI;

namespace
{
constexpr float kPi = 3.1415927f;
} // namespace

BitmapBase::BitmapBase(const BitmapBase& other)
    : rotaryAccumulator(other.rotaryAccumulator), bitmapInfo(other.bitmapInfo), bitmap(other.bitmap),
      lastPoint(other.lastPoint)
{
    if (bitmap)
        bitmap->remember();
}

BitmapBase::~BitmapBase()
{
    if (bitmap)
        bitmap->forget();
}

void BitmapBase::SetBitmap(CBitmap* newBitmap)
{
    if (newBitmap)
        newBitmap->remember();
    if (bitmap)
        bitmap->forget();
    bitmap = newBitmap;
}

int32_t BitmapBase::FrameCount() const
{
    if (bitmap == nullptr || bitmapInfo.FrameSizeY <= 0)
        return 0;
    return static_cast<int32_t>(bitmap->getHeight() / bitmapInfo.FrameSizeY);
}

int32_t BitmapBase::FrameOf(float value) const
{
    if (bitmap == nullptr || !(value >= 0.0f) || bitmapInfo.FrameSizeY < 1)
        return 0;
    const float last = static_cast<float>(bitmap->getHeight() / bitmapInfo.FrameSizeY - 1.0);
    const float frame = std::floor(last * value + 0.5f);
    // An image shorter than its frames, or a value past 1, shows the last whole frame.
    const int32_t lastWhole = std::max(0, FrameCount() - 1);
    if (!(frame >= 0.0f))
        return 0;
    return frame >= static_cast<float>(lastWhole) ? lastWhole : static_cast<int32_t>(frame);
}

float BitmapBase::onMouseDown(CPoint& where, float value)
{
    lastPoint = where;
    switch (bitmapInfo.MouseMode)
    {
    case kNextFrame:
    {
        const int32_t n = FrameCount() - 1;
        // A strip of one frame (or none) has no next frame: the value stays.
        if (n < 1)
            return value;
        const int32_t i = static_cast<int32_t>(controls::Clamp01(value) * static_cast<float>(n) + 0.5f);
        const int32_t next = i < n ? i + 1 : 0;
        return static_cast<float>(next) / static_cast<float>(n);
    }
    case kToggle:
        return value == 0.0f ? 1.0f : 0.0f;
    default:
        rotaryAccumulator = 0.0f;
        return value;
    }
}

float BitmapBase::onMouseUp(CPoint&, float value)
{
    return bitmapInfo.MouseMode == kToggle ? 0.0f : value;
}

float BitmapBase::onMouseMoved(CView* view, CPoint& where, float value)
{
    const float dy = static_cast<float>(where.y - lastPoint.y);
    const float dx = static_cast<float>(where.x - lastPoint.x);
    switch (bitmapInfo.MouseMode)
    {
    case kVerticalDrag:
        value += dy * -0.005f;
        break;
    case kToggle:
    case kNextFrame:
        break;
    case kRotary:
    {
        const CRect r = view ? view->getViewSize() : CRect();
        const float w = static_cast<float>(r.right - r.left);
        const float h = static_cast<float>(r.bottom - r.top);
        const float cx = static_cast<float>(r.left) + w / 2.0f;
        const float cy = static_cast<float>(r.top) + h / 2.0f;
        const float px = static_cast<float>(where.x) - cx;
        const float py = static_cast<float>(where.y) - cy;
        const float ax = std::fabs(std::trunc(px));
        const float ay = std::fabs(std::trunc(py));
        const float q = w + h > 0.0f ? 2.0f * (ax + ay) / (w + h) : 0.0f;
        float a = std::atan2(py, px) -
                  std::atan2(static_cast<float>(lastPoint.y) - cy, static_cast<float>(lastPoint.x) - cx);
        if (a < -kPi)
            a += 2.0f * kPi;
        if (a > kPi)
            a -= 2.0f * kPi;
        const float t = std::min(q, 1.0f) * 20.0f * a;
        const float k = std::max(0.0f, 1.0f - std::min(ax, 10.0f) / 10.0f);
        rotaryAccumulator = rotaryAccumulator * 0.9f + (std::fabs(k * dy) < std::fabs(t) ? 0.1f : -0.1f);
        value += rotaryAccumulator > 0.0f ? t * 0.01f : -dy * 0.01f;
        break;
    }
    default:
        value += dx * 0.005f;
        break;
    }
    lastPoint = where;
    return controls::Clamp01(value);
}

bool BitmapBase::hitTest(const CPoint& where, const CButtonState&, float value, CRect viewRect)
{
    const double left = viewRect.left + bitmapInfo.PaddingLeft;
    const double top = viewRect.top + bitmapInfo.PaddingTop;
    if (!(where.x >= left && where.x <= viewRect.right - bitmapInfo.PaddingRight && where.y >= top &&
          where.y <= viewRect.bottom - bitmapInfo.PaddingBottom))
        return false;
    if (bitmap == nullptr)
        return false;
    double px = std::floor(where.x + 0.5) - 1.0 - left;
    double py = std::floor(where.y + 0.5) - 2.0 - top;
    if (value >= 0.0f && bitmapInfo.FrameSizeY > 0)
        py += static_cast<double>(bitmapInfo.FrameSizeY) * FrameOf(value);
    if (px < 0 || py < 0 || px >= bitmap->getWidth() || py >= bitmap->getHeight())
        return false;
    CBitmapPixelAccess* access = CBitmapPixelAccess::create(bitmap, true);
    if (access == nullptr)
        return false;
    CColor colour;
    const bool inside = access->setPosition(static_cast<uint32_t>(px), static_cast<uint32_t>(py));
    if (inside)
        access->getColor(colour);
    access->forget();
    return inside && colour.alpha != 0;
}

void BitmapBase::draw(CDrawContext* context, float value, CRect viewRect)
{
    if (bitmap == nullptr || context == nullptr)
        return;
    const SkinBitmapInfo& b = bitmapInfo;
    switch (b.DrawMode)
    {
    case kMovingHandle:
    {
        bitmap->draw(context, CRect(viewRect.left, viewRect.top, viewRect.left + b.FrameSizeX, viewRect.top + b.FrameSizeY),
                     CPoint(0, 0), 1.0f);
        const float v = value == value ? value : 0.0f;
        const int32_t travel = static_cast<int32_t>(static_cast<float>(b.HandleRangeTop - b.HandleRangeBottom) * v);
        const int32_t p = b.MouseMode == kVerticalDrag ? b.HandleRangeTop - travel : b.HandleRangeBottom + travel;
        CRect handle;
        if (b.MouseMode == kVerticalDrag)
        {
            handle.left = viewRect.left + b.HandleLeft;
            handle.right = handle.left + b.HandleRight - b.HandleLeft;
            handle.top = viewRect.top + std::max(p, 0);
            handle.bottom = handle.top + std::min(p, 0) + b.HandleBottom - b.HandleTop;
        }
        else
        {
            handle.left = viewRect.left + std::max(p, 0);
            handle.right = handle.left + std::min(p, 0) + b.HandleRight - b.HandleLeft;
            handle.top = viewRect.top;
            handle.bottom = viewRect.top + b.HandleBottom - b.HandleTop;
        }
        bitmap->draw(context, handle, CPoint(b.HandleLeft, b.HandleTop), 1.0f);
        break;
    }
    case kSplitLine:
    {
        const float v = value == value ? value : 0.0f;
        const int32_t n = std::max(static_cast<int32_t>(static_cast<float>(b.LineEndLength + 1) * v), 0);
        const int32_t y = 1 - b.HandleRangeBottom + b.FrameSizeY - b.HandleRangeTop * n;
        // Placed in the view like every other mode: at the context's origin
        // the line would be drawn over whatever sits at the frame's corner.
        const double left = viewRect.left;
        const double top = viewRect.top;
        bitmap->draw(context, CRect(left, top + y, left + b.FrameSizeX, top + b.FrameSizeY), CPoint(0, y), 1.0f);
        bitmap->draw(context, CRect(left, top, left + b.FrameSizeX, top + y), CPoint(0, b.FrameSizeY), 1.0f);
        break;
    }
    default:
    {
        const double offsetY = static_cast<double>(b.FrameSizeY) * FrameOf(value);
        const double top = viewRect.top + b.PaddingTop;
        const double left = viewRect.left + b.PaddingLeft;
        bitmap->draw(context, CRect(left, top, left + b.FrameSizeX, top + b.FrameSizeY), CPoint(0, offsetY), 1.0f);
        break;
    }
    }
}
