#include <gtest/gtest.h>
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
using namespace VSTGUI;
TEST(Smoke, Draws)
{
    auto* frame = new CFrame(CRect(0, 0, 50, 50), nullptr);
    auto ctx = COffscreenContext::create(50, 50);
    frame->setBackgroundColor(CColor(10, 20, 30));
    EXPECT_TRUE(frame->drawDirty(ctx.get()));
    EXPECT_EQ(ctx->getPixel(5, 5), CColor(10, 20, 30));
    frame->forget();
}
