#include "editor/toolkit/x11/TextBoxField.h"

#include <cstdint>

namespace VSTGUI {

namespace {
bool IsContinuation(unsigned char byte)
{
    return (byte & 0xc0) == 0x80;
}

// The length of the well-formed UTF-8 character at text[i], 0 when it is not.
std::size_t CharacterLength(const std::string& text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t point = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2, point = lead & 0x1fu;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3, point = lead & 0x0fu;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4, point = lead & 0x07u;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
    {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(byte))
            return 0;
        point = (point << 6) | (byte & 0x3fu);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
    const std::uint32_t least = length == 2 ? 0x80u : length == 3 ? 0x800u : 0x10000u;
    if (point < least || point > 0x10ffffu || (point >= 0xd800u && point <= 0xdfffu))
        return 0;
    return length;
}

// Well-formed characters of text, others replaced (or dropped), control
// characters dropped when asked.
std::string Clean(const std::string& text, bool replaceBad, bool dropControls)
{
    std::string clean;
    for (std::size_t i = 0; i < text.size();)
    {
        const std::size_t length = CharacterLength(text, i);
        if (length == 0)
        {
            if (replaceBad)
                clean += "\xef\xbf\xbd";
            ++i;
            continue;
        }
        const auto lead = static_cast<unsigned char>(text[i]);
        const bool control = length == 1 && (lead < 0x20 || lead == 0x7f);
        if (!(control && dropControls))
            clean.append(text, i, length);
        i += length;
    }
    return clean;
}

std::size_t CutAtCharacter(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return text.size();
    while (limit > 0 && IsContinuation(static_cast<unsigned char>(text[limit])))
        --limit;
    return limit;
}
} // namespace

TextBoxField::TextBoxField(const std::string& text) : text_(Clean(text, true, false))
{
    text_.resize(CutAtCharacter(text_, kMaxBytes));
    selectAll();
}

void TextBoxField::insert(const std::string& utf8)
{
    const std::string clean = Clean(utf8, false, true);
    eraseSelection();
    const std::size_t room = kMaxBytes - text_.size();
    const std::string taken = clean.substr(0, CutAtCharacter(clean, room));
    text_.insert(caret_, taken);
    caret_ += taken.size();
    anchor_ = caret_;
}

void TextBoxField::backspace()
{
    if (!hasSelection())
        anchor_ = previous(caret_);
    eraseSelection();
}

void TextBoxField::deleteForward()
{
    if (!hasSelection())
        anchor_ = next(caret_);
    eraseSelection();
}

void TextBoxField::left(bool extend)
{
    if (hasSelection() && !extend)
        moveTo(selectionStart(), false);
    else
        moveTo(previous(caret_), extend);
}

void TextBoxField::right(bool extend)
{
    if (hasSelection() && !extend)
        moveTo(selectionEnd(), false);
    else
        moveTo(next(caret_), extend);
}

void TextBoxField::home(bool extend)
{
    moveTo(0, extend);
}

void TextBoxField::end(bool extend)
{
    moveTo(text_.size(), extend);
}

void TextBoxField::selectAll()
{
    anchor_ = 0;
    caret_ = text_.size();
}

void TextBoxField::setCaret(std::size_t offset, bool extend)
{
    offset = offset > text_.size() ? text_.size() : offset;
    while (offset > 0 && offset < text_.size() && IsContinuation(static_cast<unsigned char>(text_[offset])))
        --offset;
    moveTo(offset, extend);
}

std::size_t TextBoxField::previous(std::size_t offset) const
{
    if (offset == 0)
        return 0;
    --offset;
    while (offset > 0 && IsContinuation(static_cast<unsigned char>(text_[offset])))
        --offset;
    return offset;
}

std::size_t TextBoxField::next(std::size_t offset) const
{
    if (offset >= text_.size())
        return text_.size();
    ++offset;
    while (offset < text_.size() && IsContinuation(static_cast<unsigned char>(text_[offset])))
        ++offset;
    return offset;
}

void TextBoxField::eraseSelection()
{
    const std::size_t start = selectionStart();
    text_.erase(start, selectionEnd() - start);
    caret_ = anchor_ = start;
}

void TextBoxField::moveTo(std::size_t offset, bool extend)
{
    caret_ = offset;
    if (!extend)
        anchor_ = offset;
}

} // namespace VSTGUI
