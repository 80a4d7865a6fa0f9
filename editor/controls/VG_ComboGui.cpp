#include "editor/controls/VG_ComboGui.h"

#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createCombo()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_ComboGui());
}

// Registered by its constructor only: a bundle describes the pins it uses.
int32_t registerCombo()
{
    return RegisterPlugin(3, L"ListEntryV", &createCombo);
}
} // namespace

extern const int32_t kvComboRegistered = registerCombo();

VG_ComboGui::VG_ComboGui()
    : KvGuiVstGuiView(CRect()), label_(new CTextLabel(CRect())), list_(new COptionMenu(CRect(), this, 0))
{
    setTransparency(true);
    initializePin(10, choice_, &VG_ComboGui::onValueChanged);
    initializePin(11, hint_);
    initializePin(12, items_, &VG_ComboGui::onItemsChanged);
    initializePin(13, unused13_);
    initializePin(14, title_);
}

VG_ComboGui::~VG_ComboGui()
{
    // Once added, the container owns the two views.
    if (!added_)
    {
        label_->forget();
        list_->forget();
    }
}

int32_t VG_ComboGui::initialize()
{
    if (!added_)
    {
        if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
        {
            editor->ApplyStyle(L"control_label", label_);
            editor->ApplyStyle(L"control_edit", list_);
        }
        addView(label_);
        addView(list_);
        added_ = true;
    }
    return MpGuiBase2::initialize();
}

int32_t VG_ComboGui::arrange(MpRect r)
{
    const CRect size(r.left, r.top, r.right, r.bottom);
    setViewSize(size, true);
    setMouseableArea(size);
    const double width = size.getWidth();
    const double height = size.getHeight();
    KVVSTGUIEditor* editor = controls::EditorOf(*this);
    CFontDesc* font = controls::MakeFont(editor ? editor->getFontInfo(L"control_label") : SkinFontInfo::Empty());
    const double h = controls::TextHeight(font);
    label_->setFont(font);
    label_->setViewSize(CRect(0, 0, width, h), true);
    label_->setText(WStringToUtf8(title_.getValue()));
    font->forget();
    const CRect listRect(0, h + 2, width, height);
    list_->setViewSize(listRect, true);
    list_->setMouseableArea(listRect);
    return gmpi::MP_OK;
}

void VG_ComboGui::onItemsChanged()
{
    controls::FillMenu(*list_, items_.getValue());
    onValueChanged();
}

void VG_ComboGui::onValueChanged()
{
    const int index = controls::IndexOfValue(items_.getValue(), choice_.getValue());
    if (index >= 0)
    {
        list_->setValue(static_cast<float>(index));
        list_->invalid();
    }
}

void VG_ComboGui::valueChanged(CControl*)
{
    int32_t chosen = 0;
    if (controls::ValueAtIndex(items_.getValue(), static_cast<int>(list_->getValue()), chosen))
        choice_ = chosen;
}
