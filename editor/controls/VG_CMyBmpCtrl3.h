#pragma once
// The built-in GUI module "Image2": a knob, slider, switch or animation drawn
// from a skin image. Its value is float pin 0 (0..1); pin 1 names the image;
// pin 3 holds the right-click menu's items and pin 4 gets the value of the
// item chosen; pins 5 and 6 are true while the left button is down; pins 7
// and 8 get the number of frames of the image. Drawing, hit testing and the
// mouse rules are BitmapBase's. UI thread only.

#include <string>

#include "editor/KvGuiVstGuiView.h"
#include "editor/controls/BitmapBase.h"
#include "editor/toolkit/CView.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_CMyBmpCtrl3 : public KvGuiVstGuiView<VSTGUI::CView>, public BitmapBase
{
public:
    VG_CMyBmpCtrl3();
    VG_CMyBmpCtrl3(const VG_CMyBmpCtrl3& other);

    VSTGUI::CView* newCopy() const override { return new VG_CMyBmpCtrl3(*this); }

    // UI: the skin image named by pin 1, and the frame count on pins 7 and 8.
    int32_t initialize() override;

    void draw(VSTGUI::CDrawContext* context) override;
    bool hitTest(const VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons = -1) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;

    // UI: the value clamped to 0..1; a change is sent out of pin 0 and drawn.
    void SetPos(float value);
    float Value() const { return value_.getValue(); }

protected:
    ~VG_CMyBmpCtrl3() override = default;
    void onValueChanged();
    void InitPins();
    // Pops up the items of pin 3; a choice is written to pin 4 when it comes.
    void ShowContextMenu(const VSTGUI::CPoint& where);

    MpGuiPin<float> value_;
    MpGuiPin<std::wstring> imageName_;
    MpGuiPin<std::wstring> unused2_;
    MpGuiPin<std::wstring> menuItems_;
    MpGuiPin<int32_t> menuChoice_;
    MpGuiPin<bool> mouseDown_;
    MpGuiPin<bool> mouseDown2_;
    MpGuiPin<int32_t> frameCount_;
    MpGuiPin<int32_t> frameCount2_;
};
#pragma GCC diagnostic pop
