#include <gtest/gtest.h>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/COffscreenContext.h"

using namespace VSTGUI;

namespace {

TEST(FontMetrics, ComeFromTheInstalledFaceAndScaleWithItsSize)
{
    CFontDesc font("DejaVu Sans", 20);
    const IPlatformFont* f = font.getPlatformFont();
    ASSERT_NE(f, nullptr);
    // DejaVu Sans: ascent about 0.93 em, descent 0.24 em, capitals 0.73 em.
    EXPECT_NEAR(f->getAscent(), 18.6, 1.0);
    EXPECT_NEAR(f->getDescent(), 4.7, 1.0);
    EXPECT_NEAR(f->getCapHeight(), 14.6, 1.0);
    EXPECT_GE(f->getLeading(), 0.0);

    CFontDesc half("DejaVu Sans", 10);
    EXPECT_NEAR(half.getPlatformFont()->getAscent() * 2, f->getAscent(), 0.5);
    const double w = f->getPainter()->getStringWidth(nullptr, "Resonance");
    EXPECT_NEAR(half.getPlatformFont()->getStringWidth(nullptr, "Resonance") * 2, w, 1.0);
    EXPECT_GT(w, f->getStringWidth(nullptr, "Reso"));
    EXPECT_EQ(f->getStringWidth(nullptr, ""), 0);

    // Bold is wider; a changed size gives new metrics.
    CFontDesc bold("DejaVu Sans", 20, kBoldFace);
    EXPECT_GT(bold.getPlatformFont()->getStringWidth(nullptr, "Resonance"), w);
    font.setSize(10);
    EXPECT_NEAR(font.getPlatformFont()->getAscent(), half.getPlatformFont()->getAscent(), 1e-9);
}

TEST(FontMetrics, AFaceThatIsNotInstalledFallsBackToTheDefaultFace)
{
    CFontDesc missing("No Such Face Korvane", 16);
    CFontDesc fallback(CFontDesc::defaultFaceName(), 16);
    EXPECT_EQ(missing.getPlatformFont()->getAscent(), fallback.getPlatformFont()->getAscent());
    EXPECT_EQ(missing.getPlatformFont()->getStringWidth(nullptr, "Attack"),
              fallback.getPlatformFont()->getStringWidth(nullptr, "Attack"));
    // A font of no size has no metrics and draws nothing.
    CFontDesc empty("", 0);
    EXPECT_EQ(empty.getPlatformFont()->getAscent() + empty.getPlatformFont()->getDescent(), 0);
    auto c = COffscreenContext::create(50, 20);
    c->setFont(&empty);
    c->drawString("x", CRect(0, 0, 50, 20));
    EXPECT_EQ(c->getPixel(25, 10).alpha, 0);
}

TEST(FontMetrics, TheContextsStringWidthMatchesTheDrawnInk)
{
    CFontDesc font(CFontDesc::defaultFaceName(), 12);
    auto c = COffscreenContext::create(200, 20);
    c->setFont(&font, 24); // a size of its own
    c->setFontColor(kBlackCColor);
    const double width = c->getStringWidth("MMMM");
    EXPECT_NEAR(width, 2 * font.getPlatformFont()->getStringWidth(nullptr, "MMMM"), 1.0);
    c->drawString("MMMM", CRect(0, 0, 200, 20), kLeftText, false);
    int maxX = 0;
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < 20; ++y)
            if (c->getPixel(x, y).alpha)
                maxX = std::max(maxX, x);
    // The ink ends within the side bearing of the last letter.
    EXPECT_LT(maxX, width);
    EXPECT_GT(maxX, width - 5);
}

TEST(FontMetrics, TextThatIsNotUtf8IsMeasuredAndDrawnWithReplacements)
{
    CFontDesc font(CFontDesc::defaultFaceName(), 12);
    const char broken[] = "Gain \xff\xfe dB";
    testing::internal::CaptureStderr();
    EXPECT_GT(font.getPlatformFont()->getStringWidth(nullptr, broken),
              font.getPlatformFont()->getStringWidth(nullptr, "Gain  dB"));
    auto c = COffscreenContext::create(100, 20);
    c->setFont(&font);
    c->drawString(broken, CRect(0, 0, 100, 20));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // no warning from pango
}

} // namespace
