#include "editor/controls/CMyBmpCtrl3Tinted.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "editor/controls/ControlSupport.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CBitmapPixelAccess.h"
#include "editor/toolkit/CDrawContext.h"

using namespace VSTGUI;

namespace
{
gmpi::IMpUnknown* createTinted()
{
    return static_cast<gmpi::IMpUserInterface2*>(new CMyBmpCtrl3Tinted());
}

// Registered by its constructor only: a bundle describes the pins it uses.
int32_t registerTinted()
{
    return RegisterPlugin(3, L"ImageTinted", &createTinted);
}

uint8_t GammaByte(float c)
{
    return static_cast<uint8_t>(std::pow(c, 0.45454544f) * 255.0f + 0.5f);
}
} // namespace

extern const int32_t kvImageTintedRegistered = registerTinted();

CMyBmpCtrl3Tinted::CMyBmpCtrl3Tinted()
{
    initializePin(12, hue_, &CMyBmpCtrl3Tinted::onTintChanged);
    initializePin(13, saturation_, &CMyBmpCtrl3Tinted::onTintChanged);
    initializePin(14, brightness_, &CMyBmpCtrl3Tinted::onTintChanged);
}

CMyBmpCtrl3Tinted::~CMyBmpCtrl3Tinted()
{
    if (tinted_)
        tinted_->forget();
}

int32_t CMyBmpCtrl3Tinted::initialize()
{
    VG_CMyBmpCtrl3::initialize();
    if (Bitmap() && tinted_ == nullptr)
    {
        tinted_ = new CBitmap(Bitmap()->getWidth(), Bitmap()->getHeight());
        dirty_ = true;
        invalid();
    }
    return gmpi::MP_OK;
}

void CMyBmpCtrl3Tinted::onTintChanged()
{
    dirty_ = true;
    invalid();
}

CColor CMyBmpCtrl3Tinted::TintOf(float hue, float saturation, float value)
{
    const float h = controls::Clamp01(hue), s = controls::Clamp01(saturation), v = controls::Clamp01(value);
    float r = v, g = v, b = v;
    if (s != 0.0f)
    {
        const int i = std::min(static_cast<int>(std::floor(6.0f * h)), 5);
        const float f = 6.0f * h - static_cast<float>(i);
        const float p = v * (1.0f - s);
        const float q = v * (1.0f - s * f);
        const float t = v * (1.0f - s * (1.0f - f));
        switch (i)
        {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
        }
    }
    return CColor(GammaByte(r), GammaByte(g), GammaByte(b));
}

void CMyBmpCtrl3Tinted::Retint()
{
    const CColor tint = TintOf(hue_.getValue(), saturation_.getValue(), brightness_.getValue());
    CBitmapPixelAccess* source = CBitmapPixelAccess::create(Bitmap(), true);
    CBitmapPixelAccess* target = CBitmapPixelAccess::create(tinted_, true);
    if (source && target)
    {
        do
        {
            CColor in;
            source->getColor(in);
            const unsigned m = in.red;
            target->setColor(CColor(static_cast<uint8_t>((m * tint.red + 128) >> 8),
                                    static_cast<uint8_t>((m * tint.green + 128) >> 8),
                                    static_cast<uint8_t>((m * tint.blue + 128) >> 8), static_cast<uint8_t>(m)));
        } while (++*source && ++*target);
    }
    if (source)
        source->forget();
    if (target)
        target->forget();
}

void CMyBmpCtrl3Tinted::draw(CDrawContext* context)
{
    if (Bitmap() == nullptr || tinted_ == nullptr)
    {
        setDirty(false);
        return;
    }
    if (dirty_)
    {
        dirty_ = false;
        Retint();
    }
    const SkinBitmapInfo& b = bitmapInfo;
    double offsetY = 0;
    const float position = value_.getValue();
    if (b.FrameSizeY > 0 && position >= 0.0f)
    {
        // The frame is truncated here, where the plain image rounds.
        const int32_t last = std::max(0, FrameCount() - 1);
        const int32_t frame = std::min(static_cast<int32_t>(std::min(position, 1.0f) * static_cast<float>(last)), last);
        offsetY = static_cast<double>(frame) * b.FrameSizeY;
    }
    const CRect view = getViewSize();
    const double top = view.top + b.PaddingTop;
    const double left = view.left + b.PaddingLeft;
    tinted_->draw(context, CRect(left, top, left + b.FrameSizeX, top + b.FrameSizeY), CPoint(0, offsetY), 1.0f);
    setDirty(false);
}
