#pragma once
// A text label the user can edit: a press (or takeFocus) opens the in-place
// text box of the window over the control and returns; when editing ends the
// new text is taken and the listener told. UI thread only.

#include "editor/toolkit/CTextLabel.h"

namespace VSTGUI {

class CTextEdit : public CTextLabel
{
public:
    CTextEdit(const CRect& size, IControlListener* listener, int32_t tag, UTF8StringPtr text = nullptr,
              CBitmap* background = nullptr, int32_t style = 0);

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    // Edits the text when the control wants focus and has a window.
    void takeFocus() override;
    bool isEditingText() const { return editingText_; }

private:
    bool editingText_ = false;
};

} // namespace VSTGUI
