#include "editor/controls/VG_PopupMenu.h"

#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CParamDisplay.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createPopupMenu()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_PopupMenu());
}
} // namespace

// The control's pins as a bundle describes them. Kept with the source, not
// registered: the bundle's own description decides which pins have
// defaults and which stand for parameters.
extern const char* const POPUPMENU_XML = R"(<?xml version="1.0" encoding="utf-8" ?>
<PluginList>
  <Plugin id="KV Popup Menu" name="Popup Menu" category="Sub-Controls" graphicsApi="VSTGUI">
    <GUI>
      <Pin name="Choice" datatype="int"/>
      <Pin name="Item List" datatype="string"/>
      <Pin name="Style" datatype="string" default="normal"/>
      <Pin name="Writeable" datatype="bool" default="1"/>
      <Pin name="Greyed" datatype="bool"/>
      <Pin name="Hint" datatype="string"/>
      <Pin name="Menu Items" datatype="string"/>
      <Pin name="Menu Selection" datatype="int"/>
      <Pin name="Heading" datatype="string" default="Menu"/>
      <Pin name="Momentary" datatype="bool"/>
    </GUI>
  </Plugin>
</PluginList>
)";

namespace
{
int32_t registerPopupMenu()
{
    return RegisterPlugin(3, L"KV Popup Menu", &createPopupMenu);
}
} // namespace

extern const int32_t kvPopupMenuRegistered = registerPopupMenu();

VG_PopupMenu::VG_PopupMenu()
{
    setListener(this);
    initializePin(0, choice_, &VG_PopupMenu::onValueChanged);
    initializePin(1, items_, &VG_PopupMenu::onItemsChanged);
    initializePin(2, style_);
    initializePin(3, writeable_);
    initializePin(4, greyed_);
    initializePin(5, hint_);
    initializePin(6, menuItems_);
    initializePin(7, menuSelection_);
    initializePin(8, heading_);
    initializePin(9, momentary_, &VG_PopupMenu::onMomentaryChanged);
}

int32_t VG_PopupMenu::initialize()
{
    if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
        editor->ApplyStyle(L"control_label", this);
    return MpGuiBase2::initialize();
}

void VG_PopupMenu::onItemsChanged()
{
    controls::FillMenu(*this, items_.getValue());
    onValueChanged();
}

void VG_PopupMenu::onValueChanged()
{
    const int index = controls::IndexOfValue(items_.getValue(), choice_.getValue());
    if (index >= 0)
        setValue(static_cast<float>(index));
}

void VG_PopupMenu::onMomentaryChanged()
{
    const int32_t style = getStyle();
    setStyle(momentary_.getValue() ? (style & ~kCheckStyle) : (style | kCheckStyle));
}

void VG_PopupMenu::valueChanged(CControl*)
{
    const int index = static_cast<int>(getValue());
    int32_t chosen = 0;
    if (!controls::ValueAtIndex(items_.getValue(), index, chosen))
        return;
    choice_ = chosen;
    if (!momentary_.getValue())
        checkEntryAlone(index);
    else
        choice_ = 0;
}

void VG_PopupMenu::draw(CDrawContext* context)
{
    drawBack(context);
    const std::string heading = WStringToUtf8(heading_.getValue());
    if (!heading.empty())
        drawPlatformText(context, heading.c_str());
    setDirty(false);
}
