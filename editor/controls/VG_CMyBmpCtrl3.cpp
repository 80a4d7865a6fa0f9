#include "editor/controls/VG_CMyBmpCtrl3.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createImage()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_CMyBmpCtrl3());
}

// Registered by its constructor only: a bundle describes the pins it uses.
int32_t registerImage()
{
    return RegisterPlugin(3, L"Image2", &createImage);
}
} // namespace

extern const int32_t kvImageRegistered = registerImage();

VG_CMyBmpCtrl3::VG_CMyBmpCtrl3() : KvGuiVstGuiView(CRect())
{
    InitPins();
}

void VG_CMyBmpCtrl3::InitPins()
{
    initializePin(0, value_, &VG_CMyBmpCtrl3::onValueChanged);
    initializePin(1, imageName_);
    initializePin(2, unused2_);
    initializePin(3, menuItems_);
    initializePin(4, menuChoice_);
    initializePin(5, mouseDown_);
    initializePin(6, mouseDown2_);
    initializePin(7, frameCount_);
    initializePin(8, frameCount2_);
}

// A copy shares the image and record, and starts with no pins of its own.
VG_CMyBmpCtrl3::VG_CMyBmpCtrl3(const VG_CMyBmpCtrl3& other) : KvGuiVstGuiView(other), BitmapBase(other)
{
    pins_.clear();
    sharedCount_ = 1;
    InitPins();
}

int32_t VG_CMyBmpCtrl3::initialize()
{
    if (KVVSTGUIEditor* editor = controls::EditorOf(*this))
    {
        bitmapInfo = editor->getBitmapInfo(imageName_.getValue());
        CBitmap* loaded = editor->loadBitmapResource(bitmapInfo);
        SetBitmap(loaded);
        if (loaded)
            loaded->forget();
        if (Bitmap() && bitmapInfo.FrameSizeY > 0)
        {
            const int32_t frames = FrameCount();
            frameCount_ = frames;
            frameCount2_ = frames;
        }
    }
    return MpGuiBase2::initialize();
}

void VG_CMyBmpCtrl3::onValueChanged()
{
    invalid();
}

void VG_CMyBmpCtrl3::draw(CDrawContext* context)
{
    BitmapBase::draw(context, value_.getValue(), getViewSize());
    setDirty(false);
}

bool VG_CMyBmpCtrl3::hitTest(const CPoint& where, const CButtonState& buttons)
{
    return BitmapBase::hitTest(where, buttons, value_.getValue(), getViewSize());
}

void VG_CMyBmpCtrl3::SetPos(float value)
{
    value = controls::Clamp01(value);
    if (value != value_.getValue())
    {
        value_ = value;
        invalid();
    }
}

CMouseEventResult VG_CMyBmpCtrl3::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    const int32_t pressed = buttons & 0x30E;
    if (pressed == kLButton)
    {
        if (Bitmap() == nullptr)
            return kMouseEventNotHandled;
        mouseDown_ = true;
        mouseDown2_ = true;
        SetPos(BitmapBase::onMouseDown(where, value_.getValue()));
        return kMouseEventHandled;
    }
    if (pressed == kRButton)
    {
        ShowContextMenu(where);
        return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult VG_CMyBmpCtrl3::onMouseUp(CPoint& where, const CButtonState&)
{
    mouseDown_ = false;
    mouseDown2_ = false;
    SetPos(BitmapBase::onMouseUp(where, value_.getValue()));
    return kMouseEventHandled;
}

CMouseEventResult VG_CMyBmpCtrl3::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    if ((buttons & 0x30E) == kLButton)
        SetPos(BitmapBase::onMouseMoved(this, where, value_.getValue()));
    return kMouseEventHandled;
}

void VG_CMyBmpCtrl3::ShowContextMenu(const CPoint& where)
{
    CFrame* frame = getFrame();
    if (frame == nullptr)
        return;
    auto* menu = new COptionMenu();
    controls::FillMenu(*menu, menuItems_.getValue());
    CPoint at = where;
    if (getParentView())
        getParentView()->localToFrame(at);
    // The choice comes later, from the window's events.
    remember();
    menu->popupAsync(frame, at, [this, menu](bool chosen) {
        int32_t value = 0;
        if (chosen && controls::ValueAtIndex(menuItems_.getValue(), static_cast<int>(menu->getValue()), value))
            menuChoice_ = value;
        menu->forget();
        forget();
    });
}
