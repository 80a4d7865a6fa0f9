#include "editor/controls/VG_TextEntry3.h"

#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createTextEntry()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_TextEntry3());
}
} // namespace

// The control's pins as a bundle describes them. Kept with the source, not
// registered: the bundle's own description decides which pins have
// defaults and which stand for parameters.
extern const char* const TEXTENTRY3_XML = R"(<?xml version="1.0" encoding="utf-8" ?>
<PluginList>
  <Plugin id="TextEntry3" name="VG Text Entry3" category="Sub-Controls" graphicsApi="VSTGUI">
    <Parameters>
      <Parameter id="0" datatype="string"/>
    </Parameters>
    <GUI>
      <Pin name="Text" datatype="string"/>
      <Pin name="Style" datatype="string" default="normal"/>
      <Pin name="Multiline" datatype="bool"/>
      <Pin name="Writeable" datatype="bool" default="1"/>
      <Pin name="Greyed" datatype="bool"/>
      <Pin name="Hint" datatype="string"/>
      <Pin name="Menu Items" datatype="string"/>
      <Pin name="Menu Selection" datatype="int"/>
      <Pin name="Mouse Down" datatype="bool" direction="out"/>
    </GUI>
  </Plugin>
</PluginList>
)";

namespace
{
int32_t registerTextEntry()
{
    return RegisterPlugin(3, L"TextEntry3", &createTextEntry);
}
} // namespace

extern const int32_t kvTextEntryRegistered = registerTextEntry();

VG_TextEntry3::VG_TextEntry3() : KvGuiVstGuiView(CRect(0, 0, 100, 40), nullptr, 0, nullptr, nullptr, 0)
{
    setListener(this);
    initializePin(0, text_, &VG_TextEntry3::onSetText);
    initializePin(1, style_, &VG_TextEntry3::onSetStyle);
    initializePin(2, multiline_);
    initializePin(3, writeable_, &VG_TextEntry3::onSetWriteable);
    initializePin(4, greyed_);
    initializePin(5, hint_);
    initializePin(6, menuItems_);
    initializePin(7, menuSelection_);
    initializePin(8, mouseDown_);
}

void VG_TextEntry3::onSetText()
{
    setText(WStringToUtf8(text_.getValue()));
}

void VG_TextEntry3::onSetStyle()
{
    if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
        editor->ApplyStyle(style_.getValue(), this);
}

void VG_TextEntry3::onSetWriteable()
{
    setWantsFocus(writeable_.getValue());
}

void VG_TextEntry3::takeFocus()
{
    if (writeable_.getValue())
        CTextEdit::takeFocus();
}

void VG_TextEntry3::valueChanged(CControl*)
{
    const std::wstring edited = Utf8ToWstring(getText());
    if (edited == text_.getValue())
        return;
    text_ = edited;
}

CMouseEventResult VG_TextEntry3::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (!mouseDown_.getValue())
        mouseDown_ = true;
    CTextEdit::onMouseDown(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult VG_TextEntry3::onMouseUp(CPoint& where, const CButtonState& buttons)
{
    if (mouseDown_.getValue())
        mouseDown_ = false;
    return CView::onMouseUp(where, buttons);
}

CRect VG_TextEntry3::TextRect() const
{
    CFontDesc* font = getFont();
    const IPlatformFont* platform = font ? font->getPlatformFont() : nullptr;
    double h = platform ? platform->getAscent() + platform->getDescent() : 0.0;
    if (!(h > 0.0))
        h = font ? font->getSize() : 0.0;
    const double leading = platform ? platform->getLeading() : 0.0;
    const double line = leading > 0.0 ? h + leading : h + 0.1 * h;
    const CRect view = getViewSize();
    return CRect(view.left, view.top, view.right, view.top + line);
}

void VG_TextEntry3::draw(CDrawContext* context)
{
    context->setDrawMode(kAliasing);
    const CRect view = getViewSize();
    if (!getTransparency())
    {
        context->setFillColor(getBackColor());
        context->drawRect(view, kDrawFilled);
    }
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = oldClip;
    clip.bound(view);
    context->setClipRect(clip);
    context->setFont(getFont());
    context->setFontColor(getFontColor());
    context->drawString(getText().c_str(), TextRect(), getHoriAlign(), getAntialias());
    context->setClipRect(oldClip);
    setDirty(false);
}
