#include <gtest/gtest.h>

#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CGraphicsPath.h"
#include "editor/toolkit/COffscreenContext.h"

using namespace VSTGUI;

namespace {

constexpr CColor kRed(255, 0, 0), kWhite(255, 255, 255), kNavy(0, 0, 128);

std::unique_ptr<COffscreenContext> whiteCanvas(int w = 40, int h = 40)
{
    auto c = COffscreenContext::create(w, h);
    c->clear(kWhite);
    return c;
}

TEST(DrawContext, RectanglesFillExactlyAndStrokeInsideTheirEdges)
{
    auto c = whiteCanvas();
    c->setFillColor(CColor(10, 200, 30, 255));
    c->drawRect(CRect(5, 5, 10, 8), kDrawFilled);
    EXPECT_EQ(c->getPixel(5, 5), CColor(10, 200, 30));
    EXPECT_EQ(c->getPixel(9, 7), CColor(10, 200, 30));
    EXPECT_EQ(c->getPixel(10, 7), kWhite);
    EXPECT_EQ(c->getPixel(9, 8), kWhite);

    c->setFrameColor(kRed);
    c->setLineWidth(1);
    c->drawRect(CRect(20, 20, 30, 30), kDrawStroked);
    EXPECT_EQ(c->getPixel(20, 20), kRed);
    EXPECT_EQ(c->getPixel(29, 25), kRed);
    EXPECT_EQ(c->getPixel(25, 29), kRed);
    EXPECT_EQ(c->getPixel(25, 25), kWhite);
    EXPECT_EQ(c->getPixel(30, 25), kWhite);
}

TEST(DrawContext, OnePixelLinesCoverTheirPixelRowAndTransformsMoveDrawing)
{
    auto c = whiteCanvas();
    c->setFrameColor(kNavy);
    c->setLineWidth(1);
    c->drawLine(CPoint(2, 10), CPoint(20, 10));
    EXPECT_EQ(c->getPixel(5, 10), kNavy);
    EXPECT_EQ(c->getPixel(5, 9), kWhite);
    EXPECT_EQ(c->getPixel(5, 11), kWhite);
    {
        CDrawContext::Transform shift(*c, CGraphicsTransform().translate(10, 20));
        c->drawLine(CPoint(2, 10), CPoint(20, 10));
        CRect clip;
        c->getClipRect(clip);
        EXPECT_EQ(clip, CRect(-10, -20, 30, 20)); // the surface in the shifted coordinates
    }
    EXPECT_EQ(c->getPixel(15, 30), kNavy);
    EXPECT_EQ(c->getPixel(15, 29), kWhite);
}

TEST(DrawContext, ClipsStayInsideThePaintersLimitAndStatesNest)
{
    auto c = whiteCanvas();
    c->setClipLimit(CRect(0, 0, 20, 40));
    c->saveGlobalState();
    c->setFillColor(kRed);
    c->setClipRect(CRect(10, 0, 40, 40)); // wider than the limit
    c->drawRect(CRect(0, 0, 40, 40), kDrawFilled);
    c->restoreGlobalState();
    EXPECT_EQ(c->getPixel(5, 5), kWhite);
    EXPECT_EQ(c->getPixel(15, 5), kRed);
    EXPECT_EQ(c->getPixel(25, 5), kWhite);
    EXPECT_EQ(c->getFillColor(), kWhiteCColor); // restored
}

TEST(DrawContext, PathsAreStrokedOrFilledAndClosedOnlyWhenAsked)
{
    auto c = whiteCanvas();
    CGraphicsPath* path = c->createGraphicsPath();
    path->beginSubpath(CPoint(5, 5));
    path->addLine(CPoint(35, 5));
    path->addLine(CPoint(35, 35));
    c->setFrameColor(kRed);
    c->setLineWidth(2);
    c->drawGraphicsPath(path, CDrawContext::kPathStroked);
    EXPECT_EQ(c->getPixel(20, 5), kRed);
    EXPECT_EQ(c->getPixel(35, 20), kRed);
    EXPECT_EQ(c->getPixel(20, 20), kWhite); // open: no closing diagonal
    path->closeSubpath();
    c->drawGraphicsPath(path, CDrawContext::kPathStroked);
    EXPECT_EQ(c->getPixel(20, 20), kRed);

    c->clear(kWhite);
    c->setFillColor(kNavy);
    CGraphicsTransform down = CGraphicsTransform().translate(0, 2);
    c->drawGraphicsPath(path, CDrawContext::kPathFilled, &down);
    EXPECT_EQ(c->getPixel(30, 20), kNavy);
    EXPECT_EQ(c->getPixel(10, 30), kWhite);
    path->forget();
}

TEST(DrawContext, AliasedTextHasOnlyPureColoursAndAlignsInItsRectangle)
{
    CFontDesc font(CFontDesc::defaultFaceName(), 14);
    auto c = whiteCanvas(120, 20);
    c->setFont(&font);
    c->setFontColor(kNavy);
    c->drawString("Wave", CRect(0, 0, 120, 20), kRightText, false);
    int inked = 0, minX = 120, maxX = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x)
        {
            const CColor p = c->getPixel(x, y);
            ASSERT_TRUE(p == kNavy || p == kWhite) << x << "," << y;
            if (p == kNavy)
                ++inked, minX = std::min(minX, x), maxX = std::max(maxX, x);
        }
    EXPECT_GT(inked, 20);
    const double width = font.getPlatformFont()->getStringWidth(nullptr, "Wave");
    EXPECT_GE(maxX, 115);
    EXPECT_NEAR(minX, 120 - width, 3);

    c->clear(kWhite);
    c->drawString("Wave", CRect(0, 0, 120, 20), kCenterText, true);
    bool grey = false;
    for (int x = 0; x < 120; ++x)
        for (int y = 0; y < 20; ++y)
            if (CColor p = c->getPixel(x, y); p != kNavy && p != kWhite)
                grey = true;
    EXPECT_TRUE(grey); // antialiased edges
}

} // namespace
