// The in-place text box in a real window: how each key ends it, Escape, the
// band of presses that keep it open, and UTF-8 text both ways.

#include <gtest/gtest.h>

#include <filesystem>

#include "EditorSession.h"
#include "tests/TempFolder.h"

using namespace x11_test;
namespace L = TestSineLayout;

namespace
{
EditorAction OpenBox()
{
    return EditorAction::click(MidX(L::kTextBox), MidY(L::kTextBox));
}
} // namespace

TEST(TextBox, ReturnTabBackTabUpAndDownEndItWithTheirCodes)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    const struct
    {
        const char* key;
        int code;
    } cases[] = {{"Return", 0}, {"Tab", 1}, {"ISO_Left_Tab", 2}, {"Up", 3}, {"Down", 4}};
    for (const auto& c : cases)
    {
        // The box opens with its text selected: typing replaces it.
        const std::string text = std::string("héllo ") + c.key;
        std::string error;
        ASSERT_TRUE(session.play({OpenBox(), EditorAction::type(text), EditorAction::key(c.key)}, error))
            << error;
        EXPECT_EQ(session.textBoxCode(), c.code) << c.key;
        EXPECT_EQ(session.editorText(), text) << c.key;
    }
}

TEST(TextBox, LiesOverItsRectangleWhiteWithBlackTextWhileOpen)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    const kv_test::TempFolder scratch("editor-x11");
    const std::string png = scratch.file("box.png");
    std::string error;
    ASSERT_TRUE(session.play(
        {OpenBox(), EditorAction::key("End"), EditorAction::type("MMM"), EditorAction::screenshot(png),
         EditorAction::key("Return")},
        error))
        << error;
    EXPECT_EQ(session.editorText(), "probeMMM");
    const WindowImage open = ReadPng(png);
    const int x0 = L::kTextBox[0];
    const int y0 = L::kTextBox[1];
    const int x1 = L::kTextBox[2];
    const int y1 = L::kTextBox[3];
    // White where the text is not, black text, nothing of the yellow box under it.
    EXPECT_EQ(open.at(x1 - 3, y1 - 3), kWhite);
    EXPECT_GT(open.count(x0, y0, x1, y1, 0x000000), 20);
    EXPECT_EQ(open.count(x0, y0, x1, y1, 0xffffc8), 0);
    // Gone once it ends.
    EXPECT_EQ(session.capture().at(x1 - 3, y1 - 3), 0xffffc8u);
}

TEST(TextBox, EscapeDoesNothingAndPressesInsideTheBandKeepEditing)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    std::string error;
    // Below the box, within 20 pixels of it: still editing.
    const int inBandY = L::kTextBox[3] + 12;
    ASSERT_TRUE(session.play({OpenBox(), EditorAction::type("ab"), EditorAction::key("Escape"),
                                      EditorAction::click(MidX(L::kTextBox), inBandY), EditorAction::type("c"),
                                      EditorAction::key("Return")},
                                     error))
        << error;
    EXPECT_EQ(session.editorText(), "abc");
    EXPECT_EQ(session.textBoxCode(), 0);
}

TEST(TextBox, APressOutsideTheBandEndsItWithCodeOneAndGoesNoFurther)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kTestSineBundle);
    for (int button : {1, 3})
    {
        std::string error;
        const std::string text = "x" + std::to_string(button);
        // On the colour pad, which would count a left press that reached it.
        ASSERT_TRUE(session.play(
            {OpenBox(), EditorAction::type(text), EditorAction::click(MidX(L::kPad), MidY(L::kPad), button)}, error))
            << error;
        EXPECT_EQ(session.textBoxCode(), 1) << button;
        EXPECT_EQ(session.editorText(), text) << button;
        EXPECT_EQ(session.param(TestSine::kEditorClicksId), 0.0) << button;
    }
    EXPECT_EQ(session.capture().at(MidX(L::kPad), MidY(L::kPad)), kRed);
}
