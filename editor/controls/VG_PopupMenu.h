#pragma once
// The built-in GUI module "KV Popup Menu": a button that always shows its
// "Heading" and pops its "Item List" up when clicked; the chosen item's value
// goes out on "Choice". Momentary: the choice is a one-shot command, "Choice"
// returns to 0 straight after and no entry stays checked; otherwise the
// chosen entry stays checked alone. UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/IControlListener.h"

// The control's pins as a bundle describes them; not registered.
extern const char* const POPUPMENU_XML;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_PopupMenu : public KvGuiVstGuiView<VSTGUI::COptionMenu>, public VSTGUI::IControlListener
{
public:
    VG_PopupMenu();

    int32_t initialize() override;
    // UI: the back, then the heading (never the chosen item).
    void draw(VSTGUI::CDrawContext* context) override;

    // UI: the menu's choice.
    // The control's own change notice stays reachable beside the listener's.
    using VSTGUI::COptionMenu::valueChanged;
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t controlModifierClicked(VSTGUI::CControl*, VSTGUI::CButtonState) override { return 0; }

private:
    ~VG_PopupMenu() override = default;
    void onValueChanged();
    void onItemsChanged();
    void onMomentaryChanged();

    MpGuiPin<int32_t> choice_;
    MpGuiPin<std::wstring> items_;
    MpGuiPin<std::wstring> style_;
    MpGuiPin<bool> writeable_;
    MpGuiPin<bool> greyed_;
    MpGuiPin<std::wstring> hint_;
    MpGuiPin<std::wstring> menuItems_;
    MpGuiPin<int32_t> menuSelection_;
    MpGuiPin<std::wstring> heading_;
    MpGuiPin<bool> momentary_;
};
#pragma GCC diagnostic pop
