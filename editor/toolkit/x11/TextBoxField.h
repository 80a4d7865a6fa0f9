#pragma once
// What the in-place text box edits: one line of UTF-8 text with a caret and
// a selection, changed a whole character at a time. The box starts with all
// of its text selected, so typing replaces it. Pure text: the window, the
// keys and the drawing are X11TextBox's. UI thread only.

#include <cstddef>
#include <string>

namespace VSTGUI {

class TextBoxField
{
public:
    // Bytes that are not UTF-8 become U+FFFD.
    explicit TextBoxField(const std::string& text);

    const std::string& text() const { return text_; }
    // Byte offsets; the selection is [selectionStart, selectionEnd).
    std::size_t caret() const { return caret_; }
    std::size_t selectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
    std::size_t selectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
    bool hasSelection() const { return caret_ != anchor_; }

    // Replaces the selection (or inserts at the caret); control characters
    // and bytes that are not UTF-8 are left out.
    void insert(const std::string& utf8);
    void backspace();
    void deleteForward();
    // With `extend` the selection grows from its anchor.
    void left(bool extend);
    void right(bool extend);
    void home(bool extend);
    void end(bool extend);
    void selectAll();
    // Puts the caret at a byte offset, rounded down to a character start.
    void setCaret(std::size_t offset, bool extend);

    // Longer text is cut at a character boundary.
    static constexpr std::size_t kMaxBytes = 4096;

private:
    std::size_t previous(std::size_t offset) const;
    std::size_t next(std::size_t offset) const;
    void eraseSelection();
    void moveTo(std::size_t offset, bool extend);

    std::string text_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
};

} // namespace VSTGUI
