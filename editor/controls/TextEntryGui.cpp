#include "editor/controls/TextEntryGui.h"

#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createTextEntryGui()
{
    return static_cast<gmpi::IMpUserInterface2*>(new TextEntryGui());
}

// Registered by its constructor only: a bundle describes the pins it uses.
int32_t registerTextEntryGui()
{
    return RegisterPlugin(3, L"TextEntryV", &createTextEntryGui);
}
} // namespace

extern const int32_t kvTextEntryGuiRegistered = registerTextEntryGui();

TextEntryGui::TextEntryGui()
    : KvGuiVstGuiView(CRect()), edit_(new CTextEdit(CRect(), this, 0)), label_(new CTextLabel(CRect()))
{
    setTransparency(true);
    label_->setTransparency(true);
    addView(edit_);
    addView(label_);
    initializePin(9, text_, &TextEntryGui::onSetText);
    initializePin(10, hint_);
    initializePin(11, unused11_);
    initializePin(12, title_);
}

int32_t TextEntryGui::arrange(MpRect r)
{
    const CRect size(r.left, r.top, r.right, r.bottom);
    setViewSize(size, true);
    setMouseableArea(size);
    const double width = size.getWidth();
    const double height = size.getHeight();
    SkinFontInfo info = SkinFontInfo::Empty();
    if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
    {
        for (const SkinFontInfo& font : editor->SkinFonts())
        {
            if (font.Category == "control_label")
            {
                info = font;
                break;
            }
        }
    }
    CFontDesc* font = controls::MakeFont(info);
    const double h = controls::TextHeight(font);
    label_->setFont(font);
    label_->setViewSize(CRect(0, 0, width, h), true);
    label_->setText(WStringToUtf8(title_.getValue()));
    font->forget();
    const CRect editRect(0, h + 2, width, height);
    edit_->setViewSize(editRect, true);
    edit_->setMouseableArea(editRect);
    return gmpi::MP_OK;
}

void TextEntryGui::onSetText()
{
    edit_->setText(WStringToUtf8(text_.getValue()));
}

void TextEntryGui::valueChanged(CControl*)
{
    const std::wstring edited = Utf8ToWstring(edit_->getText());
    if (edited != text_.getValue())
        text_ = edited;
}
