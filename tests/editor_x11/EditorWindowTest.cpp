// The test editor in a real X11 window: drawn, clicked, dragged and chosen
// from through the X server, and photographed.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "EditorSession.h"
#include "tests/TempFolder.h"
#include "tools/kvhost/CommandLine.h"

using namespace x11_test;
namespace L = TestSineLayout;

TEST(EditorWindow, OpensRegistersWithTheRunLoopAndDrawsItsViews)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    EditorWindow& window = *session.window;
    EXPECT_EQ(window.width(), L::kWidth);
    EXPECT_EQ(window.height(), L::kHeight);
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 1u);
    EXPECT_EQ(window.runLoop().timerCount(), 1u);
    EXPECT_EQ(window.runLoop().firstTimerInterval(), 16u);

    // The editor's window is a child of the host's and says it may be mapped (XEmbed).
    Display* display = window.display();
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, window.window(), &root, &parent, &children, &count));
    ASSERT_EQ(count, 1u);
    const Window child = children[0];
    XFree(children);
    const Atom info = XInternAtom(display, "_XEMBED_INFO", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(display, child, info, 0, 2, False, info, &type, &format, &items, &after, &data),
              Success);
    ASSERT_EQ(items, 2u);
    const auto* embed = reinterpret_cast<const long*>(data);
    EXPECT_EQ(embed[0], 0);
    EXPECT_EQ(embed[1], 1);
    XFree(data);

    const WindowImage image = session.capture();
    ASSERT_EQ(image.width, L::kWidth);
    EXPECT_EQ(image.at(MidX(L::kPad), MidY(L::kPad)), kRed);
    EXPECT_EQ(image.at(MidX(L::kBar), MidY(L::kBar)), kBarGrey);
    EXPECT_EQ(image.at(MidX(L::kTextBox), MidY(L::kTextBox)), 0xffffc8u);
    EXPECT_EQ(image.at(395, 195), kBackground);

    window.close();
    EXPECT_EQ(window.runLoop().eventHandlerCount(), 0u);
    EXPECT_EQ(window.runLoop().timerCount(), 0u);
}

TEST(EditorWindow, ClicksAndDragsReachTheViewsThroughTheServer)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    const kv_test::TempFolder scratch("editor-x11");
    const std::string png = scratch.file("drag.png");
    std::string error;
    const int barY = MidY(L::kBar);
    ASSERT_TRUE(session.play({EditorAction::click(MidX(L::kPad), MidY(L::kPad)),
                                      EditorAction::drag(L::kBar[0] + 5, barY, 200, barY),
                                      EditorAction::screenshot(png)},
                                     error))
        << error;

    EXPECT_DOUBLE_EQ(session.param(TestSine::kEditorClicksId), 0.01);
    const double expected = (200.0 - L::kBar[0]) / (L::kBar[2] - L::kBar[0]);
    EXPECT_NEAR(session.param(TestSine::kGainId), expected, 0.01);
    const auto edits = session.instance->componentHandler().takeEdits();
    ASSERT_FALSE(edits.empty());
    EXPECT_EQ(edits.back().first, TestSine::kGainId);
    EXPECT_NEAR(edits.back().second, expected, 0.01);

    // The screenshot taken while the host was running shows what was done.
    const WindowImage shot = ReadPng(png);
    ASSERT_EQ(shot.width, L::kWidth);
    ASSERT_EQ(shot.height, L::kHeight);
    EXPECT_EQ(shot.at(MidX(L::kPad), MidY(L::kPad)), kGreen);
    EXPECT_EQ(shot.at(100, barY), kBlue);
    EXPECT_EQ(shot.at(300, barY), kBarGrey);
}

TEST(EditorWindow, OptionMenuChoosesByMouseAndKeysAndCancelsOnEscapeOrAPressOutside)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    const int menuX = MidX(L::kMenu);
    const int menuY = MidY(L::kMenu);
    const kv_test::TempFolder scratch("editor-x11");
    const std::string png = scratch.file("menu.png");
    std::string error;
    // The list opens under the menu; its first entry lies just below it.
    ASSERT_TRUE(session.play({EditorAction::click(menuX, menuY), EditorAction::screenshot(png),
                                      EditorAction::click(menuX, L::kMenu[3] + 10)},
                                     error))
        << error;
    EXPECT_NEAR(session.param(TestSine::kEditorMenuId), 0.1, 1e-9);
    const WindowImage open = ReadPng(png);
    EXPECT_GT(open.count(L::kMenu[0], L::kMenu[3] + 2, L::kMenu[2], L::kHeight, 0xf2f2f2), 500);

    // Down from the current entry, then Return.
    ASSERT_TRUE(session.play(
        {EditorAction::click(menuX, menuY), EditorAction::key("Down"), EditorAction::key("Return")}, error))
        << error;
    EXPECT_NEAR(session.param(TestSine::kEditorMenuId), 0.2, 1e-9);

    // Escape, and a press far from the list, choose nothing.
    ASSERT_TRUE(session.play({EditorAction::click(menuX, menuY), EditorAction::key("Escape"),
                                      EditorAction::click(menuX, menuY), EditorAction::click(380, 30)},
                                     error))
        << error;
    EXPECT_NEAR(session.param(TestSine::kEditorMenuId), 0.2, 1e-9);
    // The press that cancelled the list went nowhere else; the editor still answers.
    ASSERT_TRUE(session.play({EditorAction::click(MidX(L::kPad), MidY(L::kPad))}, error)) << error;
    EXPECT_DOUBLE_EQ(session.param(TestSine::kEditorClicksId), 0.01);
}

TEST(EditorWindow, TextEditTakesTypedUtf8Text)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    std::string error;
    ASSERT_TRUE(session.play({EditorAction::click(MidX(L::kTextEdit), MidY(L::kTextEdit)),
                                      EditorAction::type("Zürich €5"), EditorAction::key("Return")},
                                     error))
        << error;
    EXPECT_EQ(session.editorText(), "Zürich €5");
}

TEST(EditorWindow, CommandLineOpensTheEditorClicksAndWritesAScreenshot)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    const kv_test::TempFolder scratch("editor-x11");
    const std::string png = scratch.file("cli.png");
    std::ostringstream out;
    std::ostringstream err;
    const std::string state = scratch.file("cli.state");
    const std::string click = std::to_string(MidX(L::kPad)) + "," + std::to_string(MidY(L::kPad));
    const int barY = MidY(L::kBar);
    const std::string drag = std::to_string(L::kBar[0] + 5) + "," + std::to_string(barY) + ",200," + std::to_string(barY);
    const int code = RunHostCommand({kTestSineBundle, "--editor", "--display", DisplayString(session.window->display()),
                                     "--click", click, "--drag", drag, "--screenshot", png, "--save-state", state},
                                    out, err);
    EXPECT_EQ(code, kHostOk) << err.str();
    EXPECT_NE(out.str().find("editor opened: 400 x 200"), std::string::npos) << out.str();
    const WindowImage shot = ReadPng(png);
    EXPECT_EQ(shot.at(MidX(L::kPad), MidY(L::kPad)), kGreen);
    // The state saved is the processor's after the editor's edits.
    std::ifstream saved(state, std::ios::binary);
    char bytes[TestSine::kStateSize] = {};
    ASSERT_TRUE(saved.read(bytes, sizeof(bytes))) << out.str() << err.str();
    float gain = 0.0f;
    std::memcpy(&gain, bytes + 4, sizeof(gain));
    EXPECT_NEAR(gain, (200.0 - L::kBar[0]) / (L::kBar[2] - L::kBar[0]), 0.01);
    saved.close();

    // Malformed editor options are usage errors.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{kTestSineBundle, "--editor", "--click", "10"},
          std::vector<std::string>{kTestSineBundle, "--editor", "--drag", "1,2,3"},
          std::vector<std::string>{kTestSineBundle, "--click", "1,2"}})
    {
        std::ostringstream ignored;
        EXPECT_EQ(RunHostCommand(bad, ignored, ignored), kHostUsage) << bad.back();
    }
}
