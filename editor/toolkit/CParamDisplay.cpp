#include "editor/toolkit/CParamDisplay.h"

#include <charconv>
#include <cstdio>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"

namespace VSTGUI {

CFontDesc* CParamDisplay::defaultFont()
{
    // An object of the module, not of the heap: a plug-in that is unloaded
    // takes it along. Its own reference keeps views from deleting it.
    static CFontDesc font(CFontDesc::defaultFaceName(), 12, kNormalFace);
    return &font;
}

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32_t style)
    : CControl(size, nullptr, -1, background), font_(defaultFont()), style_(style)
{
    font_->remember();
}

CParamDisplay::~CParamDisplay()
{
    font_->forget();
}

void CParamDisplay::setFont(CFontDesc* font)
{
    if (!font)
        font = defaultFont();
    font->remember();
    font_->forget();
    font_ = font;
    invalid();
}

void CParamDisplay::setFontColor(const CColor& color)
{
    if (color != fontColor_)
    {
        fontColor_ = color;
        invalid();
    }
}

void CParamDisplay::setBackColor(const CColor& color)
{
    if (color != backColor_)
    {
        backColor_ = color;
        invalid();
    }
}

void CParamDisplay::setHoriAlign(CHoriTxtAlign align)
{
    if (align != horiAlign_)
    {
        horiAlign_ = align;
        invalid();
    }
}

void CParamDisplay::setStyle(int32_t style)
{
    if (style != style_)
    {
        style_ = style;
        invalid();
    }
}

void CParamDisplay::drawBack(CDrawContext* context, CBitmap* newBack)
{
    if (!getTransparency())
    {
        context->setFillColor(backColor_);
        context->drawRect(size_, kDrawFilled);
    }
    if (CBitmap* back = newBack ? newBack : getBackground())
        back->draw(context, size_);
}

void CParamDisplay::drawPlatformText(CDrawContext* context, UTF8StringPtr string)
{
    drawPlatformText(context, string, size_);
}

void CParamDisplay::drawPlatformText(CDrawContext* context, UTF8StringPtr string, const CRect& rect)
{
    if (!string || !*string || (style_ & kNoTextStyle))
        return;
    context->setFont(font_);
    context->setFontColor(fontColor_);
    context->drawString(string, rect, horiAlign_, antialias_);
}

void CParamDisplay::draw(CDrawContext* context)
{
    if (style_ & kNoDrawStyle)
        return;
    drawBack(context);
    // Whatever the host's locale, a decimal point.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text - 1, double(value_), std::chars_format::fixed, 2);
    *(written.ec == std::errc() ? written.ptr : text) = '\0';
    drawPlatformText(context, text);
    setDirty(false);
}

} // namespace VSTGUI
