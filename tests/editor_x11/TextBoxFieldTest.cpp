// The text box's editing: whole characters, the selection it starts with,
// and text that is not UTF-8.

#include <gtest/gtest.h>

#include "editor/toolkit/x11/TextBoxField.h"

using VSTGUI::TextBoxField;

TEST(TextBoxField, StartsWithEverythingSelectedSoTypingReplacesIt)
{
    TextBoxField field("old");
    EXPECT_EQ(field.selectionStart(), 0u);
    EXPECT_EQ(field.selectionEnd(), 3u);
    field.insert("né");
    EXPECT_EQ(field.text(), "né");
    EXPECT_FALSE(field.hasSelection());
    EXPECT_EQ(field.caret(), 3u);
}

TEST(TextBoxField, MovesAndDeletesWholeCharacters)
{
    // a, é (2 bytes), € (3 bytes), 😀 (4 bytes)
    TextBoxField field("aé€😀");
    field.end(false);
    field.backspace();
    EXPECT_EQ(field.text(), "aé€");
    field.left(false);
    EXPECT_EQ(field.caret(), 3u);
    field.left(true);
    EXPECT_EQ(field.selectionStart(), 1u);
    EXPECT_EQ(field.selectionEnd(), 3u);
    field.deleteForward();
    EXPECT_EQ(field.text(), "a€");
    field.home(false);
    field.deleteForward();
    EXPECT_EQ(field.text(), "€");
    field.setCaret(1, false); // inside €: back to its start
    EXPECT_EQ(field.caret(), 0u);
    field.right(false);
    field.insert("\t\x01ok\n");
    EXPECT_EQ(field.text(), "€ok");
}

TEST(TextBoxField, BytesThatAreNotUtf8BecomeReplacementCharactersAndLengthIsBounded)
{
    TextBoxField field(std::string("a\xff" "b\xc3", 4));
    EXPECT_EQ(field.text(), "a\xef\xbf\xbd" "b\xef\xbf\xbd");
    TextBoxField empty("");
    empty.insert(std::string(TextBoxField::kMaxBytes + 10, 'x'));
    EXPECT_EQ(empty.text().size(), TextBoxField::kMaxBytes);
    empty.insert("é");
    EXPECT_EQ(empty.text().size(), TextBoxField::kMaxBytes);
}
