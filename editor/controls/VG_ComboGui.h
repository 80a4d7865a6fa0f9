#pragma once
// The built-in GUI module "ListEntryV": a title label above a drop-down list.
// Pin 10 is the chosen item's value, pin 12 the enum list, pin 14 the title
// (read when laid out); pins 11 and 13 are kept and not read. The label is as
// high as the "control_label" font; the list takes the rest, 2 pixels below.
// UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/CTextLabel.h"
#include "editor/toolkit/CViewContainer.h"
#include "editor/toolkit/IControlListener.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_ComboGui : public KvGuiVstGuiView<VSTGUI::CViewContainer>, public VSTGUI::IControlListener
{
public:
    VG_ComboGui();

    // UI: styles the label and the list and adds them, then the pin callbacks.
    int32_t initialize() override;
    int32_t arrange(MpRect rect) override;

    // UI: the list's choice.
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t controlModifierClicked(VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }

    VSTGUI::CTextLabel* Label() const { return label_; }
    VSTGUI::COptionMenu* List() const { return list_; }
    int32_t ChoiceValue() const { return choice_.getValue(); }

private:
    ~VG_ComboGui() override;
    void onValueChanged();
    void onItemsChanged();

    VSTGUI::CTextLabel* label_;
    VSTGUI::COptionMenu* list_;
    bool added_ = false;
    MpGuiPin<int32_t> choice_;
    MpGuiPin<std::wstring> hint_;
    MpGuiPin<std::wstring> items_;
    MpGuiPin<int32_t> unused13_;
    MpGuiPin<std::wstring> title_;
};
#pragma GCC diagnostic pop
