// The window layer on its own, with a frame built here: what a repaint
// draws, and that an untouched editor draws nothing.

#include <gtest/gtest.h>

#include "EditorSession.h"
#include "FramePlugView.h"
#include "editor/toolkit/CDrawContext.h"

using namespace x11_test;
using namespace VSTGUI;

namespace
{
// Fills itself with its colour and counts its draws.
class CountingView : public CView
{
public:
    CountingView(const CRect& size, CColor colour) : CView(size), colour_(colour) {}
    void draw(CDrawContext* context) override
    {
        ++draws;
        context->setFillColor(colour_);
        context->drawRect(getViewSize(), kDrawFilled);
        setDirty(false);
    }
    void setColour(CColor colour) { colour_ = colour; }
    int draws = 0;

private:
    CColor colour_;
};
} // namespace

TEST(X11Frame, ARepaintDrawsOnlyWhatWasInvalidatedAndAnIdleEditorDrawsNothing)
{
    EditorSession session;
    KV_CONNECT_OR_SKIP(session);
    auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
    auto* left = new CountingView(CRect(0, 0, 100, 100), CColor(255, 0, 0));
    auto* right = new CountingView(CRect(100, 0, 200, 100), CColor(0, 0, 255));
    frame->addView(left);
    frame->addView(right);
    Steinberg::IPtr<FramePlugView> view = Steinberg::owned(new FramePlugView(frame));
    frame->forget();
    std::string error;
    ASSERT_TRUE(session.window->open(view.get(), error)) << error;
    session.window->settle();
    EXPECT_GE(right->draws, 1);

    left->draws = 0;
    right->draws = 0;
    session.window->settle(0.3);
    EXPECT_EQ(left->draws + right->draws, 0) << "an untouched editor drew";

    left->setColour(CColor(0, 255, 0));
    left->invalid();
    session.window->settle();
    EXPECT_GE(left->draws, 1);
    EXPECT_EQ(right->draws, 0);
    const WindowImage image = session.capture();
    EXPECT_EQ(image.at(50, 50), 0x00ff00u);
    EXPECT_EQ(image.at(150, 50), 0x0000ffu);
}
