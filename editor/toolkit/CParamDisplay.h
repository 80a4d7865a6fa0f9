#pragma once
// A control that shows text: back colour (unless transparent), font, font
// colour and horizontal alignment. On its own it shows its value with two
// decimals. UI thread only.

#include "editor/toolkit/CColor.h"
#include "editor/toolkit/CControl.h"

namespace VSTGUI {

class CFontDesc;

// Style bits of text controls and menus.
enum CParamDisplayStyle : int32_t
{
    kNoTextStyle = 1 << 1,
    kNoDrawStyle = 1 << 2,
    // A menu that shows its current entry checked.
    kCheckStyle = 1 << 10,
};

class CParamDisplay : public CControl
{
public:
    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);
    ~CParamDisplay() override;

    // Keeps its own reference; null restores the default font.
    virtual void setFont(CFontDesc* font);
    CFontDesc* getFont() const { return font_; }
    void setFontColor(const CColor& color);
    const CColor& getFontColor() const { return fontColor_; }
    void setBackColor(const CColor& color);
    const CColor& getBackColor() const { return backColor_; }
    void setHoriAlign(CHoriTxtAlign align);
    CHoriTxtAlign getHoriAlign() const { return horiAlign_; }
    void setAntialias(bool state) { antialias_ = state; }
    bool getAntialias() const { return antialias_; }
    virtual void setStyle(int32_t style);
    int32_t getStyle() const { return style_; }

    void draw(CDrawContext* context) override;

    // The default font of text controls.
    static CFontDesc* defaultFont();

protected:
    // The back colour over the view size unless transparent, then newBack or
    // the background bitmap.
    virtual void drawBack(CDrawContext* context, CBitmap* newBack = nullptr);
    // One line of text in the view size with the font, colour and alignment.
    virtual void drawPlatformText(CDrawContext* context, UTF8StringPtr string);
    virtual void drawPlatformText(CDrawContext* context, UTF8StringPtr string, const CRect& rect);

private:
    CFontDesc* font_;
    CColor fontColor_ = kWhiteCColor;
    CColor backColor_ = kBlackCColor;
    CHoriTxtAlign horiAlign_ = kCenterText;
    int32_t style_;
    bool antialias_ = true;
};

} // namespace VSTGUI
