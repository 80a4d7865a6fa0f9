#pragma once
// A control that shows a line of text. UI thread only.

#include "editor/toolkit/CParamDisplay.h"

namespace VSTGUI {

class CTextLabel : public CParamDisplay
{
public:
    CTextLabel(const CRect& size, UTF8StringPtr text = nullptr, CBitmap* background = nullptr, int32_t style = 0);

    virtual void setText(const UTF8String& text);
    const UTF8String& getText() const { return text_; }

    void draw(CDrawContext* context) override;

protected:
    UTF8String text_;
};

} // namespace VSTGUI
