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
    std::string text = text_;
    int32_t result = -1;
    if (frame->runTextBox(box, text, result))
    {
        setText(text);
        valueChanged();
    }
    endEdit();
    editingText_ = false;
    forget();
}

} // namespace VSTGUI
