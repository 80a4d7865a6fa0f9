#pragma once
// A text format of a graphics-API module: a toolkit font of a face and pixel
// size, with the text's horizontal and vertical alignment, its extents and
// its font metrics. UI thread only.

#include "editor/GmpiGuiObject.h"

namespace VSTGUI
{
class CFontDesc;
class IPlatformFont;
} // namespace VSTGUI

class PGCVG_textFormat final
    : public GmpiGuiObject<gmpi_gui::IMpGraphicsTextFormat, gmpi_gui::KV_IID_GRAPHICS_TEXTFORMAT>
{
public:
    // Sizes outside this range (and NaN) make no format.
    static constexpr float kMaxFontSize = 1000.0f;

    // A new format handed out through its own queryInterface: MP_OK, or
    // MP_FAIL (and null) for a size of 0 or less, NaN or above the maximum.
    static int32_t Create(const char* fontFamilyName, gmpi_gui::Font::Style style, float fontSize,
                          gmpi_gui::IMpGraphicsTextFormat** textFormat);

    // 0 leading, 1 trailing, 2 centre; anything else leading.
    int32_t SetTextAlignment(int32_t textAlignment) override;
    int32_t SetParagraphAlignment(int32_t paragraphAlignment) override;
    // Height: the line height times the lines among the first stringLength
    // bytes; width: the whole text's, rounded up, plus 1.
    int32_t GetTextExtentU(const char* utf8String, int32_t stringLength, gmpi_gui::Size& returnSize) override;
    int32_t GetFontMetrics(gmpi_gui::FONT_METRICS* returnFontMetrics) override;

    // Toolkit values: 0 left, 1 centre, 2 right; 0 top, 1 centre, 2 bottom.
    int32_t HorizontalAlignment() const { return horizontal_; }
    int32_t VerticalAlignment() const { return vertical_; }
    float FontSize() const { return size_; }
    int32_t Style() const { return style_; }
    VSTGUI::CFontDesc* Font() const { return font_; }
    VSTGUI::IPlatformFont* PlatformFont() const;

    // One of ours, or null.
    static PGCVG_textFormat* From(gmpi_gui::IMpGraphicsTextFormat* format);

private:
    PGCVG_textFormat(const char* fontFamilyName, int32_t style, float fontSize);
    ~PGCVG_textFormat() override;
    static int32_t MapAlignment(int32_t portable);

    float size_;
    int32_t style_;
    int32_t horizontal_ = 0;
    int32_t vertical_ = 0;
    VSTGUI::CFontDesc* font_;
};
