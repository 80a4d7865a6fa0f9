#pragma once
// The built-in GUI module "ListEntry3": a drop-down list whose entries come
// from an enum list on text pin 1 and whose chosen entry's value is int pin
// 0. A new value shows its entry; a new list refills the menu without moving
// the selection; the user's choice sends its item's value when it differs.
// UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/IControlListener.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_CMyListEntry3 : public KvGuiVstGuiView<VSTGUI::COptionMenu>, public VSTGUI::IControlListener
{
public:
    VG_CMyListEntry3();

    // UI: the "control_label" style, then the callbacks of pins still at zero.
    int32_t initialize() override;

    // UI: the menu's choice.
    // The control's own change notice stays reachable beside the listener's.
    using VSTGUI::COptionMenu::valueChanged;
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t controlModifierClicked(VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }

    int32_t ChoiceValue() const { return choice_.getValue(); }

protected:
    ~VG_CMyListEntry3() override = default;
    void onValueChanged();
    void onItemsChanged();

    MpGuiPin<int32_t> choice_;
    MpGuiPin<std::wstring> items_;
};
#pragma GCC diagnostic pop
