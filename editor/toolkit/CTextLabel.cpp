#include "editor/toolkit/CTextLabel.h"

namespace VSTGUI {

CTextLabel::CTextLabel(const CRect& size, UTF8StringPtr text, CBitmap* background, int32_t style)
    : CParamDisplay(size, background, style), text_(text ? text : "")
{
}

void CTextLabel::setText(const UTF8String& text)
{
    if (text != text_)
    {
        text_ = text;
        invalid();
    }
}

void CTextLabel::draw(CDrawContext* context)
{
    if (getStyle() & kNoDrawStyle)
        return;
    drawBack(context);
    drawPlatformText(context, text_.c_str());
    setDirty(false);
}

} // namespace VSTGUI
