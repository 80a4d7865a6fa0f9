#pragma once
// Reads and writes single pixels of a bitmap as colours, walking them in row
// order. Holds the bitmap's pixels locked until it is forgotten.
// UI thread only.

#include "editor/toolkit/CColor.h"
#include "editor/toolkit/IPlatformBitmap.h"

namespace VSTGUI {

class CBitmapPixelAccess : public CBaseObject
{
public:
    // Null for a bitmap without pixels.
    static CBitmapPixelAccess* create(CBitmap* bitmap, bool alphaPremultiplied = true);
    ~CBitmapPixelAccess() override;

    // False (position unchanged) outside the bitmap.
    bool setPosition(uint32_t x, uint32_t y);
    // Next pixel in row order; false past the last one.
    bool operator++();
    uint32_t getX() const { return x_; }
    uint32_t getY() const { return y_; }
    uint32_t getBitmapWidth() const { return width_; }
    uint32_t getBitmapHeight() const { return height_; }

    void getColor(CColor& color) const;
    void setColor(const CColor& color);

    IPlatformBitmapPixelAccess* getPlatformBitmapPixelAccess() const { return access_; }

private:
    CBitmapPixelAccess(CBitmap* bitmap, IPlatformBitmapPixelAccess* access);
    uint8_t* pixel() const { return address_ + size_t(y_) * bytesPerRow_ + size_t(x_) * 4; }

    CBitmap* bitmap_;
    IPlatformBitmapPixelAccess* access_;
    uint8_t* address_;
    uint32_t bytesPerRow_;
    uint32_t width_;
    uint32_t height_;
    uint32_t x_ = 0;
    uint32_t y_ = 0;
};

} // namespace VSTGUI
