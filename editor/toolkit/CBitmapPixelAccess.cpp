#include "editor/toolkit/CBitmapPixelAccess.h"

#include "editor/toolkit/CBitmap.h"

namespace VSTGUI {

CBitmapPixelAccess* CBitmapPixelAccess::create(CBitmap* bitmap, bool alphaPremultiplied)
{
    if (!bitmap || !bitmap->getPlatformBitmap())
        return nullptr;
    IPlatformBitmapPixelAccess* access = bitmap->getPlatformBitmap()->lockPixels(alphaPremultiplied);
    if (!access || !access->getAddress())
    {
        if (access)
            access->forget();
        return nullptr;
    }
    return new CBitmapPixelAccess(bitmap, access);
}

CBitmapPixelAccess::CBitmapPixelAccess(CBitmap* bitmap, IPlatformBitmapPixelAccess* access)
    : bitmap_(bitmap), access_(access), address_(access->getAddress()), bytesPerRow_(access->getBytesPerRow()),
      width_(uint32_t(bitmap->getWidth())), height_(uint32_t(bitmap->getHeight()))
{
    bitmap_->remember();
}

CBitmapPixelAccess::~CBitmapPixelAccess()
{
    access_->forget();
    bitmap_->forget();
}

bool CBitmapPixelAccess::setPosition(uint32_t x, uint32_t y)
{
    if (x >= width_ || y >= height_)
        return false;
    x_ = x;
    y_ = y;
    return true;
}

bool CBitmapPixelAccess::operator++()
{
    if (x_ + 1 < width_)
    {
        ++x_;
        return true;
    }
    if (y_ + 1 < height_)
    {
        x_ = 0;
        ++y_;
        return true;
    }
    return false;
}

// Bytes in memory are B, G, R, A (see the platform access).
void CBitmapPixelAccess::getColor(CColor& color) const
{
    const uint8_t* p = pixel();
    color = CColor(p[2], p[1], p[0], p[3]);
}

void CBitmapPixelAccess::setColor(const CColor& color)
{
    uint8_t* p = pixel();
    p[0] = color.blue;
    p[1] = color.green;
    p[2] = color.red;
    p[3] = color.alpha;
}

} // namespace VSTGUI
