#pragma once
// The built-in GUI module "ImageTinted": the image control drawn in a colour
// of hue, saturation and value (float pins 12, 13, 14, each 0..1). The skin
// image is a grey mask (its red channel); the control keeps a tinted copy of
// the whole strip, recomputed on the first draw after a tint pin changed, and
// always draws it as a frame strip. UI thread only.

#include "editor/controls/VG_CMyBmpCtrl3.h"
#include "editor/toolkit/CColor.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CMyBmpCtrl3Tinted : public VG_CMyBmpCtrl3
{
public:
    CMyBmpCtrl3Tinted();

    VSTGUI::CView* newCopy() const override { return new CMyBmpCtrl3Tinted(); }
    // UI: the image control's initialize, then an empty tinted bitmap of the image's size.
    int32_t initialize() override;
    void draw(VSTGUI::CDrawContext* context) override;

    // The tint bytes of (h, s, v), each clamped to 0..1 (NaN counts as 0).
    static VSTGUI::CColor TintOf(float hue, float saturation, float value);
    VSTGUI::CBitmap* TintedBitmap() const { return tinted_; }

private:
    ~CMyBmpCtrl3Tinted() override;
    void onTintChanged();
    void Retint();

    MpGuiPin<float> hue_;
    MpGuiPin<float> saturation_;
    MpGuiPin<float> brightness_;
    VSTGUI::CBitmap* tinted_ = nullptr;
    bool dirty_ = false;
};
#pragma GCC diagnostic pop
