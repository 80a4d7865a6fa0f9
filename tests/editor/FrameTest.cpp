#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"

using namespace VSTGUI;
using kvtest::ColourView;

namespace {

constexpr CColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kGrey(40, 40, 40);

// A frame 100 x 100 on grey, owned by the test.
struct FrameFixture : ::testing::Test
{
    FrameFixture() { frame->setBackgroundColor(kGrey); }
    ~FrameFixture() override { frame->forget(); }
    CFrame* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
};

using FrameDrawing = FrameFixture;
using FrameMouse = FrameFixture;

TEST_F(FrameDrawing, LaterViewsLieOnTopAndContainersClipAndPlaceTheirChildren)
{
    frame->addView(new ColourView(CRect(10, 10, 50, 50), kRed));
    frame->addView(new ColourView(CRect(30, 30, 70, 70), kGreen));
    // A container at 60, 60 whose child reaches past its right edge.
    auto* box = new CViewContainer(CRect(60, 0, 90, 20));
    box->setBackgroundColor(kBlue);
    box->addView(new ColourView(CRect(20, 5, 60, 10), kRed));
    frame->addView(box);

    auto image = kvtest::render(*frame);
    EXPECT_EQ(image->getPixel(15, 15), kRed);
    EXPECT_EQ(image->getPixel(40, 40), kGreen);   // the later view covers the earlier
    EXPECT_EQ(image->getPixel(5, 5), kGrey);      // views are clipped to their own size
    EXPECT_EQ(image->getPixel(55, 55), kGreen);
    EXPECT_EQ(image->getPixel(61, 1), kBlue);     // container back
    EXPECT_EQ(image->getPixel(85, 7), kRed);      // child at 20, 5 inside the container
    EXPECT_EQ(image->getPixel(95, 7), kGrey);     // clipped at the container's edge
    EXPECT_EQ(image->getPixel(85, 15), kBlue);
}

TEST_F(FrameDrawing, TransparentContainersAndInvisibleViewsShowWhatLiesBelow)
{
    frame->addView(new ColourView(CRect(0, 0, 100, 100), kRed));
    auto* box = new CViewContainer(CRect(10, 10, 60, 60));
    box->setBackgroundColor(kBlue);
    box->setTransparency(true);
    auto* child = new ColourView(CRect(0, 0, 10, 10), kGreen);
    box->addView(child);
    frame->addView(box);

    auto image = kvtest::render(*frame);
    EXPECT_EQ(image->getPixel(30, 30), kRed);
    EXPECT_EQ(image->getPixel(12, 12), kGreen);

    box->setVisible(false);
    image = kvtest::render(*frame);
    EXPECT_EQ(image->getPixel(12, 12), kRed);
}

TEST_F(FrameDrawing, ARepaintDrawsOnlyTheDirtyRegionAndAnUntouchedFrameDrawsNothing)
{
    auto* left = new ColourView(CRect(0, 0, 50, 100), kRed);
    auto* right = new ColourView(CRect(50, 0, 100, 100), kGreen);
    frame->addView(left);
    frame->addView(right);
    auto image = COffscreenContext::create(100, 100);
    EXPECT_TRUE(frame->drawDirty(image.get()));
    EXPECT_EQ(left->draws, 1);
    EXPECT_EQ(right->draws, 1);

    // Idle: nothing dirty, nothing drawn.
    EXPECT_FALSE(frame->drawDirty(image.get()));
    EXPECT_EQ(left->draws + right->draws, 2);

    // Only the left view is asked to draw, and nothing outside its rectangle changes.
    image->clear(kBlue);
    left->invalid();
    ASSERT_EQ(frame->getDirtyRegion().rects().size(), 1u);
    EXPECT_EQ(frame->getDirtyRegion().rects()[0], CRect(0, 0, 50, 100));
    EXPECT_TRUE(frame->drawDirty(image.get()));
    EXPECT_EQ(left->draws, 2);
    EXPECT_EQ(right->draws, 1);
    EXPECT_EQ(image->getPixel(10, 10), kRed);
    EXPECT_EQ(image->getPixel(60, 10), kBlue);
    EXPECT_TRUE(frame->getDirtyRegion().isEmpty());
}

TEST_F(FrameDrawing, InvalidationOfNestedViewsReachesTheWindowInFrameCoordinates)
{
    auto* window = new kvtest::FakePlatformFrame;
    ASSERT_TRUE(frame->open(std::unique_ptr<IPlatformFrame>(window)));
    auto* outer = new CViewContainer(CRect(20, 30, 90, 90));
    auto* inner = new CViewContainer(CRect(5, 5, 60, 60));
    auto* view = new ColourView(CRect(10, 10, 20, 20), kRed);
    inner->addView(view);
    outer->addView(inner);
    frame->addView(outer);
    window->invalidated.clear();

    view->invalid();
    ASSERT_EQ(window->invalidated.size(), 1u);
    EXPECT_EQ(window->invalidated[0], CRect(35, 45, 45, 55));
    // A rectangle outside its containers is cut to them.
    view->invalidRect(CRect(50, 50, 200, 200));
    EXPECT_EQ(window->invalidated.back(), CRect(75, 85, 80, 90));
    // Hidden containers ask for nothing.
    window->invalidated.clear();
    outer->setVisible(false);
    window->invalidated.clear();
    view->invalid();
    EXPECT_TRUE(window->invalidated.empty());

    CPoint p(0, 0);
    view->localToFrame(p);
    EXPECT_EQ(p, CPoint(25, 35));
}

TEST_F(FrameMouse, PressesGoToTheTopmostViewThatHandlesThemWhichThenGetsMovesAndTheRelease)
{
    auto* below = new ColourView(CRect(0, 0, 100, 100), kRed);
    auto* box = new CViewContainer(CRect(10, 10, 60, 60));
    auto* top = new ColourView(CRect(10, 10, 30, 30), kGreen);
    auto* refusing = new ColourView(CRect(40, 40, 50, 50), kBlue, kMouseEventNotHandled);
    box->addView(top);
    box->addView(refusing);
    frame->addView(below);
    frame->addView(box);

    CPoint where(25, 25);
    EXPECT_EQ(frame->platformOnMouseDown(where, kLButton | kShift), kMouseEventHandled);
    ASSERT_EQ(top->calls.size(), 1u);
    EXPECT_EQ(top->calls[0].where, CPoint(15, 15)); // in the container's coordinates
    EXPECT_EQ(top->calls[0].buttons, kLButton | kShift);
    EXPECT_TRUE(below->calls.empty());

    // Moves and the release follow the press even outside the view.
    CPoint away(90, 90);
    frame->platformOnMouseMoved(away, kLButton);
    frame->platformOnMouseUp(away, kLButton);
    ASSERT_EQ(top->calls.size(), 3u);
    EXPECT_EQ(top->calls[1].what, "moved");
    EXPECT_EQ(top->calls[1].where, CPoint(80, 80));
    EXPECT_EQ(top->calls[2].what, "up");
    EXPECT_TRUE(below->calls.empty());

    // A view that does not handle the press lets it fall through to the one below.
    CPoint onRefusing(55, 55);
    EXPECT_EQ(frame->platformOnMouseDown(onRefusing, kRButton), kMouseEventHandled);
    EXPECT_EQ(refusing->calls.size(), 1u);
    ASSERT_EQ(below->calls.size(), 1u);
    EXPECT_EQ(below->calls[0].buttons, kRButton);

    // A view whose mouseable area excludes the point is not asked.
    top->setMouseableArea(CRect(10, 10, 12, 12));
    below->calls.clear();
    CPoint outside(25, 25);
    frame->platformOnMouseDown(outside, kMButton);
    EXPECT_EQ(top->calls.size(), 3u);
    EXPECT_EQ(below->calls.size(), 1u);

    // Moves without a press go to the view under the mouse.
    frame->platformOnMouseUp(outside, 0);
    below->calls.clear();
    CPoint hover(5, 5);
    frame->platformOnMouseMoved(hover, 0);
    ASSERT_EQ(below->calls.size(), 1u);
    EXPECT_EQ(below->calls[0].what, "moved");
}

TEST(ViewReferences, ContainersOwnTheReferenceTheyAreGivenAndForgetItOnRemoval)
{
    auto* frame = new CFrame(CRect(0, 0, 10, 10), nullptr);
    auto* view = new CView(CRect(0, 0, 5, 5));
    view->remember(); // the test's own
    EXPECT_EQ(view->getNbReference(), 2);
    frame->addView(view);
    EXPECT_EQ(view->getNbReference(), 2);
    EXPECT_EQ(view->getFrame(), frame);
    EXPECT_TRUE(frame->removeView(view, true));
    EXPECT_EQ(view->getNbReference(), 1);
    EXPECT_EQ(view->getFrame(), nullptr);

    frame->addView(view);
    view->remember();
    frame->forget(); // the frame lets go of its views
    EXPECT_EQ(view->getNbReference(), 1);
    view->forget();
}

TEST(ViewAttributes, TooltipsAreFoundOnTheInnermostViewWhenEnabled)
{
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    auto* box = new CViewContainer(CRect(10, 10, 90, 90));
    auto* knob = new CView(CRect(10, 10, 20, 20));
    const char boxTip[] = "Panel";
    const char knobTip[] = "Cutoff";
    box->setAttribute(kCViewTooltipAttribute, sizeof boxTip, boxTip);
    knob->setAttribute(kCViewTooltipAttribute, sizeof knobTip, knobTip);
    box->addView(knob);
    frame->addView(box);
    EXPECT_EQ(kCViewTooltipAttribute, 0x63767474u);

    std::string text;
    EXPECT_FALSE(frame->platformGetTooltipText(CPoint(25, 25), text));
    frame->enableTooltips(true);
    EXPECT_TRUE(frame->platformGetTooltipText(CPoint(25, 25), text));
    EXPECT_EQ(text, "Cutoff");
    EXPECT_TRUE(frame->platformGetTooltipText(CPoint(50, 50), text));
    EXPECT_EQ(text, "Panel");
    EXPECT_FALSE(frame->platformGetTooltipText(CPoint(5, 5), text));

    // Attributes copy their bytes; a buffer that is too small gets nothing.
    uint32_t size = 0;
    char small[3];
    EXPECT_FALSE(knob->getAttribute(kCViewTooltipAttribute, sizeof small, small, size));
    EXPECT_TRUE(knob->removeAttribute(kCViewTooltipAttribute));
    EXPECT_FALSE(knob->getAttributeSize(kCViewTooltipAttribute, size));
    frame->forget();
}

TEST(FrameSize, AnAbsurdCanvasIsCapped)
{
    auto* frame = new CFrame(CRect(0, 0, 1e9, -5), nullptr);
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, CFrame::kMaxSize, 0));
    frame->setSize(300, 200);
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 300, 200));
    frame->forget();
}

} // namespace
