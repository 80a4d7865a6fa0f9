#include "editor/PGCVG_textFormat.h"

#include <cmath>

#include "editor/EditorLog.h"
#include "editor/toolkit/CFontDesc.h"

namespace
{
constexpr int32_t kItalic = 4;
}

int32_t PGCVG_textFormat::Create(const char* fontFamilyName, gmpi_gui::Font::Style style, float fontSize,
                                 gmpi_gui::IMpGraphicsTextFormat** textFormat)
{
    if (textFormat == nullptr)
        return gmpi::MP_FAIL;
    *textFormat = nullptr;
    if (!(fontSize > 0.0f && fontSize <= kMaxFontSize))
    {
        EditorLog("a text format of size %g was asked for: none made.", static_cast<double>(fontSize));
        return gmpi::MP_FAIL;
    }
    auto* format = new PGCVG_textFormat(fontFamilyName, style == gmpi_gui::Font::StyleItalic ? kItalic : 0, fontSize);
    void* face = nullptr;
    format->queryInterface(gmpi_gui::KV_IID_GRAPHICS_TEXTFORMAT, &face);
    format->release();
    *textFormat = static_cast<gmpi_gui::IMpGraphicsTextFormat*>(face);
    return gmpi::MP_OK;
}

PGCVG_textFormat::PGCVG_textFormat(const char* fontFamilyName, int32_t style, float fontSize)
    : size_(fontSize), style_(style), font_(new VSTGUI::CFontDesc(fontFamilyName ? fontFamilyName : "", fontSize, 0))
{
    LiveObjects<PGCVG_textFormat>::Add(static_cast<gmpi_gui::IMpGraphicsTextFormat*>(this), this);
}

PGCVG_textFormat::~PGCVG_textFormat()
{
    LiveObjects<PGCVG_textFormat>::Remove(static_cast<gmpi_gui::IMpGraphicsTextFormat*>(this));
    font_->forget();
}

PGCVG_textFormat* PGCVG_textFormat::From(gmpi_gui::IMpGraphicsTextFormat* format)
{
    return LiveObjects<PGCVG_textFormat>::Find(format);
}

VSTGUI::IPlatformFont* PGCVG_textFormat::PlatformFont() const
{
    return font_->getPlatformFont();
}

int32_t PGCVG_textFormat::MapAlignment(int32_t portable)
{
    switch (portable)
    {
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return 0;
    }
}

int32_t PGCVG_textFormat::SetTextAlignment(int32_t textAlignment)
{
    horizontal_ = MapAlignment(textAlignment);
    return gmpi::MP_OK;
}

int32_t PGCVG_textFormat::SetParagraphAlignment(int32_t paragraphAlignment)
{
    vertical_ = MapAlignment(paragraphAlignment);
    return gmpi::MP_OK;
}

int32_t PGCVG_textFormat::GetTextExtentU(const char* utf8String, int32_t stringLength, gmpi_gui::Size& returnSize)
{
    const char* text = utf8String ? utf8String : "";
    int lines = 1;
    // The count stops at the text's end even when the length claims more.
    for (int32_t i = 0; i < stringLength && text[i] != '\0'; ++i)
        lines += text[i] == '\n';
    const VSTGUI::IPlatformFont* font = PlatformFont();
    if (font == nullptr)
    {
        returnSize = {};
        return gmpi::MP_OK;
    }
    returnSize.height = static_cast<float>((font->getAscent() + font->getDescent()) * lines);
    returnSize.width = std::ceil(static_cast<float>(font->getPainter()->getStringWidth(nullptr, text, true))) + 1.0f;
    return gmpi::MP_OK;
}

int32_t PGCVG_textFormat::GetFontMetrics(gmpi_gui::FONT_METRICS* returnFontMetrics)
{
    if (returnFontMetrics == nullptr)
        return gmpi::MP_FAIL;
    gmpi_gui::FONT_METRICS metrics;
    if (const VSTGUI::IPlatformFont* font = PlatformFont())
    {
        metrics.ascent = static_cast<float>(font->getAscent());
        metrics.descent = static_cast<float>(font->getDescent());
        metrics.lineGap = static_cast<float>(font->getLeading());
        metrics.capHeight = static_cast<float>(font->getCapHeight());
    }
    metrics.xHeight = 0.75f * metrics.capHeight;
    metrics.underlinePosition = 0.5f * metrics.descent;
    metrics.underlineThickness = 1.0f;
    metrics.strikethroughPosition = 0.5f * metrics.xHeight;
    metrics.strikethroughThickness = 1.0f;
    *returnFontMetrics = metrics;
    return gmpi::MP_OK;
}
