#pragma once
// The built-in GUI module "TextEntry3": an editable text whose text comes from
// and goes to pin 0 ("Text"), styled by the editor style named on pin 1,
// read-only while pin 3 ("Writeable") is false, with pin 8 ("Mouse Down")
// true from a press until its release. The text sits in the top line of the
// rectangle. Pins 2 and 4 to 7 are accepted and not read. UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/CTextEdit.h"
#include "editor/toolkit/IControlListener.h"

// The control's pins as a bundle describes them; not registered.
extern const char* const TEXTENTRY3_XML;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_TextEntry3 : public KvGuiVstGuiView<VSTGUI::CTextEdit>, public VSTGUI::IControlListener
{
public:
    VG_TextEntry3();


    // UI: opens the text field unless read-only.
    void takeFocus() override;
    // UI: an edit ended: a changed text is sent once.
    // The control's own change notice stays reachable beside the listener's.
    using VSTGUI::CTextEdit::valueChanged;
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t controlModifierClicked(VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;
    void draw(VSTGUI::CDrawContext* context) override;

    const std::wstring& Text() const { return text_.getValue(); }
    // The rectangle the text is drawn in: the top line of the view.
    VSTGUI::CRect TextRect() const;

private:
    ~VG_TextEntry3() override = default;
    void onSetText();
    void onSetStyle();
    void onSetWriteable();

    MpGuiPin<std::wstring> text_;
    MpGuiPin<std::wstring> style_;
    MpGuiPin<bool> multiline_;
    MpGuiPin<bool> writeable_;
    MpGuiPin<bool> greyed_;
    MpGuiPin<std::wstring> hint_;
    MpGuiPin<std::wstring> menuItems_;
    MpGuiPin<int32_t> menuSelection_;
    MpGuiPin<bool> mouseDown_;
};
#pragma GCC diagnostic pop
