#pragma once
// The built-in GUI module "TextEntryV": a title label above an editable text.
// Pin 9 is the text, pin 12 the title (read when laid out); pins 10 and 11 are
// kept and not read. The label is as high as the skin's "control_label" font;
// the edit takes the rest, 2 pixels below, in its own default look.
// UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/CTextEdit.h"
#include "editor/toolkit/CTextLabel.h"
#include "editor/toolkit/CViewContainer.h"
#include "editor/toolkit/IControlListener.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TextEntryGui : public KvGuiVstGuiView<VSTGUI::CViewContainer>, public VSTGUI::IControlListener
{
public:
    TextEntryGui();

    int32_t arrange(MpRect rect) override;

    // UI: an edit ended: a changed text is sent once.
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t controlModifierClicked(VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }

    VSTGUI::CTextEdit* Edit() const { return edit_; }
    VSTGUI::CTextLabel* Label() const { return label_; }
    const std::wstring& Text() const { return text_.getValue(); }

private:
    ~TextEntryGui() override = default;
    void onSetText();

    VSTGUI::CTextEdit* edit_;
    VSTGUI::CTextLabel* label_;
    MpGuiPin<std::wstring> text_;
    MpGuiPin<std::wstring> hint_;
    MpGuiPin<std::wstring> unused11_;
    MpGuiPin<std::wstring> title_;
};
#pragma GCC diagnostic pop
