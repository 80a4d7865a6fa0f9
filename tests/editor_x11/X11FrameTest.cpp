// The window layer on its own, with a frame built here: what a repaint
// draws, that an untouched editor draws nothing, that it draws while a
// modal file dialog waits, and that a modal loop ends when the host's window
// goes away.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <poll.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "EditorSession.h"
#include "FramePlugView.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "tools/kvhost/HostThreadIdle.h"

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

TEST(X11Frame, AModalLoopEndsCancelledAtOnceWhenTheHostsWindowIsUnmappedOrReparented)
{
    for (const std::string how : {"unmapped", "reparented"})
    {
        EditorSession session;
        KV_CONNECT_OR_SKIP(session);
        auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
        frame->addView(new CountingView(CRect(0, 0, 200, 100), CColor(255, 0, 0)));
        Steinberg::IPtr<FramePlugView> plugView = Steinberg::owned(new FramePlugView(frame));
        frame->forget();
        std::string error;
        ASSERT_TRUE(session.window->open(plugView.get(), error)) << error;
        session.window->settle();

        // Another client does to the host's window what a host or window
        // manager may do while the editor's text box holds the UI thread.
        Display* other = XOpenDisplay(std::getenv("DISPLAY"));
        ASSERT_NE(other, nullptr);
        const Window host = session.window->window();
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        ASSERT_TRUE(XQueryTree(other, host, &root, &parent, &children, &count) && count == 1);
        const Window editor = children[0];
        XFree(children);
        XSelectInput(other, editor, SubstructureNotifyMask);
        XSync(other, False);

        std::mutex mutex;
        std::condition_variable returned;
        bool back = false;
        bool rescued = false;
        // This thread runs the box's loop.
        const HostThreadIdle loop({});
        std::thread meddler([&] {
            // The box's window is mapped inside the editor's, and the loop
            // waits for events: it has taken where the host's window stands.
            XEvent event{};
            pollfd watch{ConnectionNumber(other), POLLIN, 0};
            while (event.type != MapNotify)
            {
                if (XPending(other) == 0 && ::poll(&watch, 1, 10000) <= 0)
                    return; // no box: the test fails below
                XNextEvent(other, &event);
            }
            if (loop.waitIdle(other, 10.0) == HostThreadIdle::Idle::No)
                return; // the loop never waited: the test fails below
            if (how == "unmapped")
                XUnmapWindow(other, host);
            else
                XReparentWindow(other, host, root, 0, 0);
            XSync(other, False);
            std::unique_lock<std::mutex> lock(mutex);
            if (!returned.wait_for(lock, std::chrono::seconds(10), [&] { return back; }))
            {
                // Still waiting for the user: end the box so the test can fail.
                rescued = true;
                const KeyCode enter = XKeysymToKeycode(other, XK_Return);
                XTestFakeKeyEvent(other, enter, True, CurrentTime);
                XTestFakeKeyEvent(other, enter, False, CurrentTime);
                XSync(other, False);
            }
        });
        std::string text = "kept";
        int32_t code = 7;
        const bool shown = frame->runTextBox(CRect(10, 10, 150, 30), text, code);
        {
            std::lock_guard<std::mutex> lock(mutex);
            back = true;
        }
        returned.notify_all();
        meddler.join();
        // Cancelled: nothing typed is taken.
        EXPECT_FALSE(shown) << how;
        EXPECT_FALSE(rescued) << "the loop waited for the user after the host's window was " << how;
        EXPECT_EQ(code, -1) << how;
        EXPECT_EQ(text, "kept") << how;

        if (how == "unmapped")
            XMapWindow(other, host);
        XSync(other, False);
        XCloseDisplay(other);
        session.window->close();
    }
}

TEST(X11Frame, WhenRemovedReturnsDuringAModalDialogTheEditorsWindowIsGoneAndTheDialogCancelled)
{
    EditorSession session;
    KV_CONNECT_OR_SKIP(session);
    auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
    frame->addView(new CountingView(CRect(0, 0, 200, 100), CColor(255, 0, 0)));
    Steinberg::IPtr<FramePlugView> plugView = Steinberg::owned(new FramePlugView(frame));
    std::string error;
    ASSERT_TRUE(session.window->open(plugView.get(), error)) << error;
    session.window->settle();

    Display* other = XOpenDisplay(std::getenv("DISPLAY"));
    ASSERT_NE(other, nullptr);
    const Window host = session.window->window();
    auto childrenOfHost = [&] {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        XSync(other, False);
        if (!XQueryTree(other, host, &root, &parent, &children, &count))
            return -1;
        if (children)
            XFree(children);
        return static_cast<int>(count);
    };
    ASSERT_EQ(childrenOfHost(), 1);

    // The host removes the view while the dialog's modal loop runs.
    int childrenAfterRemoved = -1;
    WatchingChooser chooser(session, 0x123456u);
    chooser.onFirstLook = [&] {
        plugView->removed();
        childrenAfterRemoved = childrenOfHost();
    };
    CNewFileSelector::setChooser(&chooser);
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    frame->forget();
    EXPECT_FALSE(selector->runModal());
    CNewFileSelector::setChooser(nullptr);
    EXPECT_EQ(childrenAfterRemoved, 0) << "the editor's window outlived removed()";
    EXPECT_EQ(selector->getNumSelectedFiles(), 0u);
    EXPECT_LT(chooser.looks, 5) << "the loop went on after removed()";
    selector->forget();
    XCloseDisplay(other);
    session.window->close();
}
