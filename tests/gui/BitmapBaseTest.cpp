// The skin-image behaviour: which frame a value shows, how presses and drags
// move the value, hit testing on opaque pixels, the tinted strip's colour,
// and images that do not fit their record.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editor/controls/BitmapBase.h"
#include "editor/controls/CMyBmpCtrl3Tinted.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CBitmapPixelAccess.h"
#include "editor/toolkit/COffscreenContext.h"

using namespace VSTGUI;

namespace
{
constexpr int kSide = 6;

// A strip of `frames` frames of kSide x kSide, frame k grey 40 * (k + 1),
// fully opaque but for the top-left pixel of every frame; `extraRows` more
// rows of a last partial frame.
CBitmap* Strip(int frames, int extraRows = 0)
{
    auto* bitmap = new CBitmap(kSide, kSide * frames + extraRows);
    CBitmapPixelAccess* access = CBitmapPixelAccess::create(bitmap, true);
    do
    {
        const uint8_t grey = static_cast<uint8_t>(40 * (access->getY() / kSide + 1));
        const bool corner = access->getX() == 0 && access->getY() % kSide == 0;
        access->setColor(corner ? CColor(0, 0, 0, 0) : CColor(grey, grey, grey, 255));
    } while (++*access);
    access->forget();
    return bitmap;
}

struct Skin
{
    explicit Skin(int frames, int mouseMode = 0, int frameSizeY = kSide, int extraRows = 0)
    {
        base.bitmapInfo.DrawMode = 1;
        base.bitmapInfo.MouseMode = mouseMode;
        base.bitmapInfo.FrameSizeX = kSide;
        base.bitmapInfo.FrameSizeY = frameSizeY;
        if (frames > 0 || extraRows > 0)
        {
            CBitmap* strip = Strip(frames, extraRows);
            base.SetBitmap(strip);
            strip->forget();
        }
    }
    // The frame drawn for a value (-1: nothing drawn).
    int Shown(float value)
    {
        auto context = COffscreenContext::create(kSide, kSide);
        context->clear(CColor(0, 0, 0, 0));
        base.draw(context.get(), value, CRect(0, 0, kSide, kSide));
        const CColor pixel = context->getPixel(3, 3);
        return pixel.alpha == 0 ? -1 : pixel.red / 40 - 1;
    }
    BitmapBase base;
};

float Press(BitmapBase& base, float value, double x = 0, double y = 0)
{
    CPoint where(x, y);
    return base.onMouseDown(where, value);
}
} // namespace

TEST(BitmapBase, ValueShowsTheNearestFrameClampedToTheStrip)
{
    Skin five(5);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::pair<float, int>> cases = {
        {0.0f, 0}, {0.5f, 2}, {0.6f, 2}, {0.63f, 3}, {1.0f, 4}, {-0.5f, 0}, {nan, 0}, {7.0f, 4}};
    for (const auto& [value, frame] : cases)
        EXPECT_EQ(five.Shown(value), frame) << "value " << value;

    // An image two rows short of its third frame: the last whole frame is the end.
    Skin short_(2, 0, kSide, 4);
    EXPECT_EQ(short_.Shown(1.0f), 1);
    // No frame height, or no image: the first frame, or nothing, and no fault.
    Skin flat(3, 0, 0);
    EXPECT_EQ(flat.Shown(0.9f), -1);
    Skin missing(0);
    EXPECT_EQ(missing.Shown(0.5f), -1);
}

TEST(BitmapBase, DragsPressesAndReleasesMoveTheValueByMouseMode)
{
    // Vertical: one pixel up adds 0.005, clamped to 0..1.
    Skin vertical(5, BitmapBase::kVerticalDrag);
    EXPECT_FLOAT_EQ(Press(vertical.base, 0.2f, 10, 300), 0.2f);
    CPoint up(10, 200);
    EXPECT_NEAR(vertical.base.onMouseMoved(nullptr, up, 0.2f), 0.7f, 1e-5);
    CPoint farUp(10, -100);
    EXPECT_FLOAT_EQ(vertical.base.onMouseMoved(nullptr, farUp, 0.7f), 1.0f);
    CPoint down(10, 10000);
    EXPECT_FLOAT_EQ(vertical.base.onMouseMoved(nullptr, down, 1.0f), 0.0f);

    // Horizontal: one pixel right adds 0.005.
    Skin horizontal(5, 1);
    Press(horizontal.base, 0.5f, 0, 0);
    CPoint right(20, 50);
    EXPECT_NEAR(horizontal.base.onMouseMoved(nullptr, right, 0.5f), 0.6f, 1e-5);

    // Toggle: a press flips, the release springs back; a drag changes nothing.
    Skin toggle(2, BitmapBase::kToggle);
    EXPECT_FLOAT_EQ(Press(toggle.base, 0.0f), 1.0f);
    CPoint moved(30, 30);
    EXPECT_FLOAT_EQ(toggle.base.onMouseMoved(nullptr, moved, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(toggle.base.onMouseUp(moved, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(Press(toggle.base, 1.0f), 0.0f);
    EXPECT_FLOAT_EQ(vertical.base.onMouseUp(moved, 0.3f), 0.3f);

    // Next frame steps through the strip and wraps.
    Skin next(5, BitmapBase::kNextFrame);
    float value = 0.0f;
    std::vector<float> seen;
    for (int i = 0; i < 5; ++i)
        seen.push_back(value = Press(next.base, value));
    EXPECT_EQ(seen, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 0.0f}));
    // A strip of one frame, or no frame height: nothing to step to, the value stays.
    Skin single(1, BitmapBase::kNextFrame);
    EXPECT_FLOAT_EQ(Press(single.base, 0.4f), 0.4f);
    Skin flat(3, BitmapBase::kNextFrame, 0);
    EXPECT_FLOAT_EQ(Press(flat.base, 0.4f), 0.4f);
}

TEST(BitmapBase, RotaryFollowsTheAngleAroundTheViewCentre)
{
    Skin rotary(5, BitmapBase::kRotary);
    CView view(CRect(0, 0, 100, 100));
    // Round the right edge, clockwise on screen (down): the value rises.
    Press(rotary.base, 0.5f, 100, 50);
    float value = 0.5f;
    for (int step = 1; step <= 5; ++step)
    {
        const double angle = step * 0.1;
        CPoint where(50 + 50 * std::cos(angle), 50 + 50 * std::sin(angle));
        value = rotary.base.onMouseMoved(&view, where, value);
    }
    EXPECT_GT(value, 0.5f);
    EXPECT_LE(value, 1.0f);
}

TEST(BitmapBase, OnlyOpaquePixelsOfTheShownFrameAreHits)
{
    Skin five(5);
    five.base.bitmapInfo.PaddingLeft = 2;
    five.base.bitmapInfo.PaddingTop = 3;
    const CRect view(10, 20, 30, 40);
    // The top-left pixel of each frame is transparent: (10+2+1, 20+3+2) maps to it.
    EXPECT_FALSE(five.base.hitTest(CPoint(13, 25), 0, 0.5f, view));
    EXPECT_TRUE(five.base.hitTest(CPoint(14, 26), 0, 0.5f, view));
    // Outside the padded rectangle, or past the image's pixels.
    EXPECT_FALSE(five.base.hitTest(CPoint(11, 26), 0, 0.5f, view));
    EXPECT_FALSE(five.base.hitTest(CPoint(25, 26), 0, 0.5f, view));
    // Past the last frame's rows for a value beyond 1, and no image at all.
    EXPECT_FALSE(five.base.hitTest(CPoint(14, 38), 0, 1.0f, view));
    Skin missing(0);
    EXPECT_FALSE(missing.base.hitTest(CPoint(14, 26), 0, 0.5f, view));
}

TEST(BitmapBase, TintColourFromHueSaturationAndValue)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        float h, s, v;
        CColor expected;
    };
    const std::vector<Case> cases = {
        {0.0f, 0.0f, 1.0f, CColor(255, 255, 255)}, {0.0f, 1.0f, 1.0f, CColor(255, 0, 0)},
        {1.0f, 1.0f, 1.0f, CColor(255, 0, 0)},     {0.0f, 0.0f, 0.5f, CColor(186, 186, 186)},
        {1.0f / 3.0f, 1.0f, 1.0f, CColor(0, 255, 0)}, {nan, nan, nan, CColor(0, 0, 0)},
        {-3.0f, 5.0f, 9.0f, CColor(255, 0, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMyBmpCtrl3Tinted::TintOf(c.h, c.s, c.v), c.expected) << c.h << " " << c.s << " " << c.v;
}

TEST(BitmapBase, MovingHandleTravelsOverItsBackground)
{
    // A 20 x 20 background (grey 40) above a 4 x 4 handle (grey 200).
    auto* bitmap = new CBitmap(20, 24);
    CBitmapPixelAccess* access = CBitmapPixelAccess::create(bitmap, true);
    do
    {
        const uint8_t grey = access->getY() < 20 ? 40 : 200;
        access->setColor(CColor(grey, grey, grey, 255));
    } while (++*access);
    access->forget();
    BitmapBase base;
    base.SetBitmap(bitmap);
    bitmap->forget();
    base.bitmapInfo = SkinBitmapInfo::Empty();
    base.bitmapInfo.FrameSizeX = 20;
    base.bitmapInfo.FrameSizeY = 20;
    base.bitmapInfo.HandleTop = 20;
    base.bitmapInfo.HandleBottom = 24;
    base.bitmapInfo.HandleRight = 4;
    base.bitmapInfo.HandleRangeTop = 16;

    auto greyAt = [&](float value, int x, int y) {
        auto context = COffscreenContext::create(20, 20);
        base.draw(context.get(), value, CRect(0, 0, 20, 20));
        return context->getPixel(x, y).red;
    };
    // Vertical: value 0 puts the handle at the bottom of its range, 1 at the top.
    EXPECT_EQ(greyAt(0.0f, 1, 17), 200);
    EXPECT_EQ(greyAt(0.0f, 1, 1), 40);
    EXPECT_EQ(greyAt(1.0f, 1, 1), 200);
    EXPECT_EQ(greyAt(1.0f, 1, 17), 40);
    // Horizontal: the handle moves from the left across.
    base.bitmapInfo.MouseMode = 1;
    EXPECT_EQ(greyAt(0.0f, 1, 1), 200);
    EXPECT_EQ(greyAt(1.0f, 17, 1), 200);
    EXPECT_EQ(greyAt(1.0f, 1, 1), 40);
}

TEST(BitmapBase, SplitLineShowsTheSecondFrameAboveTheLineInsideItsView)
{
    // Two frames (grey 40 below the line, grey 80 above); six steps of one
    // pixel: the line sits at 6 - trunc(6 * value) rows from the view's top.
    Skin skin(2);
    skin.base.bitmapInfo.DrawMode = 3;
    skin.base.bitmapInfo.LineEndLength = 5;
    skin.base.bitmapInfo.HandleRangeTop = 1;
    skin.base.bitmapInfo.HandleRangeBottom = 1;
    const CRect view(10, 20, 10 + kSide, 20 + kSide);
    struct Case
    {
        float value;
        int line;
    };
    for (const Case c : {Case{0.0f, 6}, Case{0.5f, 3}, Case{1.0f, 0}})
    {
        auto context = COffscreenContext::create(30, 30);
        context->clear(CColor(0, 0, 0, 0));
        skin.base.draw(context.get(), c.value, view);
        for (int row = 0; row < kSide; ++row)
            EXPECT_EQ(context->getPixel(13, 20 + row).red, row < c.line ? 80 : 40)
                << "value " << c.value << " row " << row;
        EXPECT_EQ(context->getPixel(3, 3).alpha, 0) << "nothing drawn outside the view";
    }
}
