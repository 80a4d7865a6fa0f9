// What hosts do to an editor's window out of the ordinary: attach it wrongly
// or twice, remove it twice or never attach it, destroy its window first,
// lose the X server; and the Korvane editor's own view, opened and sized.

#include <gtest/gtest.h>

#include "EditorSession.h"

using namespace x11_test;
using namespace Steinberg;

TEST(EditorLifecycle, CallsOutOfTurnGiveClearResults)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    EditorWindow& window = *session.window;
    IPlugView* view = window.view();
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window.window()));
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    EXPECT_EQ(view->attached(parent, "X11EmbedWindowID"), kResultFalse) << "attached twice";
    window.close();
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 0u);

    // A view that is removed twice, or attached with what is not an X11 window.
    IPtr<IPlugView> second = owned(session.instance->controller()->createView("editor"));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->removed(), kResultFalse);
    EXPECT_EQ(second->attached(nullptr, "X11EmbedWindowID"), kResultFalse);
    EXPECT_EQ(second->attached(reinterpret_cast<void*>(uintptr_t{0x7ffffff0}), "X11EmbedWindowID"), kResultFalse);
    EXPECT_EQ(second->attached(parent, "HWND"), kResultFalse);
    std::string error;
    ASSERT_TRUE(window.open(second.get(), error)) << error;
    window.close();
    EXPECT_EQ(second->removed(), kResultFalse);

    // Never attached at all: made and released.
    IPtr<IPlugView> unused = owned(session.instance->controller()->createView("editor"));
    EXPECT_TRUE(unused);
}

TEST(EditorLifecycle, HostDestroyingItsWindowFirstLeavesTheEditorQuietUntilRemoved)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    EditorWindow& window = *session.window;
    window.destroyWindow();
    window.settle();
    // Still registered (the host has not said removed), but idle: a second of
    // run loop costs next to nothing and draws nothing.
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 1u);
    window.close();
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 0u);
    EXPECT_EQ(window.runLoop().timerCount(), 0u);
}

TEST(EditorLifecycle, XServerGoingAwayNeitherEndsTheHostNorSpinsItsLoop)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    if (!session.ownServer())
        GTEST_SKIP() << "the X server is not the test's own and cannot be stopped";
    EditorWindow& window = *session.window;
    session.stopServer();
    // The run loop wakes for the broken connection.
    EXPECT_TRUE(session.serveUntil([&] { return window.serverLost() && window.runLoop().eventHandlerCount() == 0; }));
    EXPECT_TRUE(window.serverLost());
    // The editor noticed and let go of its dead connection.
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 0u);
    EXPECT_EQ(window.runLoop().timerCount(), 0u);
    window.close();
}

TEST(EditorLifecycle, KorvaneEditorShowsItsBackgroundAndFollowsTheHostsSize)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kDemoBundle);
    EditorWindow& window = *session.window;
    IPlugView* view = window.view();
    EXPECT_EQ(view->canResize(), kResultTrue);
    const std::uint32_t background = 0x30343a;
    WindowImage image = session.capture();
    ASSERT_GT(image.width, 0);
    EXPECT_EQ(image.count(0, 0, image.width, image.height, background), image.width * image.height);

    ViewRect wanted(0, 0, 320, 0);
    EXPECT_EQ(view->checkSizeConstraint(&wanted), kResultTrue);
    EXPECT_GT(wanted.getHeight(), 0);
    ViewRect larger(0, 0, 320, 240);
    EXPECT_EQ(window.resizeView(view, &larger), kResultTrue);
    window.settle();
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultTrue);
    EXPECT_EQ(size.getWidth(), 320);
    EXPECT_EQ(size.getHeight(), 240);
    image = session.capture();
    ASSERT_EQ(image.width, 320);
    ASSERT_EQ(image.height, 240);
    EXPECT_EQ(image.count(0, 0, 320, 240, background), 320 * 240);
}

TEST(EditorLifecycle, EditorOpensAgainAfterThePlugInIsUnloadedAndLoadedAgain)
{
    // Hosts unload plug-ins and load them again in one process; the fonts
    // of the second editor must still draw.
    for (int round = 0; round < 2; ++round)
    {
        EditorSession session;
        KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
        const WindowImage image = session.capture();
        namespace L = TestSineLayout;
        const int area = (L::kTextEdit[2] - L::kTextEdit[0]) * (L::kTextEdit[3] - L::kTextEdit[1]);
        // The label's text: pixels of the black label that are not black.
        EXPECT_GT(area - image.count(L::kTextEdit[0], L::kTextEdit[1], L::kTextEdit[2], L::kTextEdit[3], 0x000000), 20)
            << "round " << round;
    }
}
