#include "editor/controls/VG_CMyListEntry3.h"

#include "core/CModuleFactory.h"
#include "editor/controls/ControlSupport.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createListEntry()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_CMyListEntry3());
}

// Registered by its constructor only: a bundle describes the pins it uses.
int32_t registerListEntry()
{
    return RegisterPlugin(3, L"ListEntry3", &createListEntry);
}
} // namespace

extern const int32_t kvListEntryRegistered = registerListEntry();

VG_CMyListEntry3::VG_CMyListEntry3()
{
    setListener(this);
    initializePin(0, choice_, &VG_CMyListEntry3::onValueChanged);
    initializePin(1, items_, &VG_CMyListEntry3::onItemsChanged);
}

int32_t VG_CMyListEntry3::initialize()
{
    if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
        editor->ApplyStyle(L"control_label", this);
    return MpGuiBase2::initialize();
}

void VG_CMyListEntry3::onItemsChanged()
{
    controls::FillMenu(*this, items_.getValue());
}

void VG_CMyListEntry3::onValueChanged()
{
    const int index = controls::IndexOfValue(items_.getValue(), choice_.getValue());
    if (index >= 0)
        setValue(static_cast<float>(index));
}

void VG_CMyListEntry3::valueChanged(CControl*)
{
    int32_t chosen = 0;
    if (controls::ValueAtIndex(items_.getValue(), static_cast<int>(getValue()), chosen))
        choice_ = chosen;
}
