// The window layer on its own, with a frame built here: what a repaint
// draws, that an untouched editor draws nothing, and that it draws while a
// modal file dialog waits.

#include <gtest/gtest.h>

#include "EditorSession.h"
#include "FramePlugView.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CNewFileSelector.h"

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
    session.window->settle();
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

// A dialog that, each time the modal wait looks at it, reads the window back
// and answers once the window shows `wanted` at (50, 50).
class WatchingChooser : public IFileChooser, public IFileChooserRun
{
public:
    WatchingChooser(EditorSession& session, std::uint32_t wanted) : session_(session), wanted_(wanted) {}
    std::unique_ptr<IFileChooserRun> start(const CNewFileSelector&) override
    {
        struct Forward : IFileChooserRun
        {
            explicit Forward(WatchingChooser& c) : chooser(c) {}
            bool poll(std::vector<std::string>& files) override { return chooser.poll(files); }
            WatchingChooser& chooser;
        };
        return std::make_unique<Forward>(*this);
    }
    bool poll(std::vector<std::string>& files) override
    {
        ++looks;
        if (looks == 1 && onFirstLook)
            onFirstLook();
        seen = session_.capture().at(50, 50) == wanted_;
        if (seen)
            files.push_back("/chosen");
        return seen || looks > 200;
    }
    std::function<void()> onFirstLook;
    int looks = 0;
    bool seen = false;

private:
    EditorSession& session_;
    std::uint32_t wanted_;
};

TEST(X11Frame, TheWindowRepaintsWhileAModalFileDialogWaits)
{
    EditorSession session;
    KV_CONNECT_OR_SKIP(session);
    auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
    auto* view = new CountingView(CRect(0, 0, 200, 100), CColor(255, 0, 0));
    frame->addView(view);
    Steinberg::IPtr<FramePlugView> plugView = Steinberg::owned(new FramePlugView(frame));
    frame->forget();
    std::string error;
    ASSERT_TRUE(session.window->open(plugView.get(), error)) << error;
    session.window->settle();

    WatchingChooser chooser(session, 0x00ff00u);
    chooser.onFirstLook = [&] {
        view->setColour(CColor(0, 255, 0));
        view->invalid();
    };
    CNewFileSelector::setChooser(&chooser);
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    EXPECT_TRUE(selector->runModal());
    CNewFileSelector::setChooser(nullptr);
    EXPECT_TRUE(chooser.seen) << "the window was not repainted while the dialog was open";
    EXPECT_STREQ(selector->getSelectedFile(0), "/chosen");
    selector->forget();
    session.window->close();
}
