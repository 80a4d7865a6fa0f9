#include "editor/toolkit/CTextEdit.h"

#include "editor/toolkit/CFrame.h"

namespace VSTGUI {

CTextEdit::CTextEdit(const CRect& size, IControlListener* listener, int32_t tag, UTF8StringPtr text,
                     CBitmap* background, int32_t style)
    : CTextLabel(size, text, background, style)
{
    setListener(listener);
    setTag(tag);
    setWantsFocus(true);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (buttons.isLeftButton())
    {
        takeFocus();
        return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

void CTextEdit::takeFocus()
{
    if (!wantsFocus() || editingText_)
        return;
    CFrame* frame = getFrame();
    if (!frame)
        return;
    CPoint origin = size_.getTopLeft();
    localToFrame(origin);
    const CRect box(origin, size_.getSize());
    remember();
    editingText_ = true;
    beginEdit();
    // The box ends later, from the window's events (or at once when it
    // cannot be shown).
    frame->openTextBox(box, text_, [this](bool shown, const std::string& text, int32_t) {
        if (shown)
        {
            setText(text);
            valueChanged();
        }
        endEdit();
        editingText_ = false;
        forget();
    });
}

} // namespace VSTGUI
