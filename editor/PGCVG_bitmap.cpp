#include "editor/PGCVG_bitmap.h"

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/IPlatformBitmap.h"

PGCVG_bitmap::PGCVG_bitmap(VSTGUI::CBitmap* bitmap) : bitmap_(bitmap)
{
    LiveObjects<PGCVG_bitmap>::Add(static_cast<gmpi_gui::IMpBitmap*>(this), this);
}

PGCVG_bitmap::~PGCVG_bitmap()
{
    LiveObjects<PGCVG_bitmap>::Remove(static_cast<gmpi_gui::IMpBitmap*>(this));
    bitmap_->forget();
}

PGCVG_bitmap* PGCVG_bitmap::From(gmpi_gui::IMpBitmap* bitmap)
{
    return LiveObjects<PGCVG_bitmap>::Find(bitmap);
}

void PGCVG_bitmap::HandOut(VSTGUI::CBitmap* bitmap, void** returnBitmap)
{
    auto* object = new PGCVG_bitmap(bitmap);
    object->queryInterface(gmpi_gui::KV_IID_GRAPHICS_BITMAP, returnBitmap);
    object->release();
}

int32_t PGCVG_bitmap::GetSize(gmpi_gui::Size& returnSize)
{
    returnSize.width = static_cast<float>(bitmap_->getWidth());
    returnSize.height = static_cast<float>(bitmap_->getHeight());
    return gmpi::MP_OK;
}

int32_t PGCVG_bitmap::lockPixels(void** returnPixels, bool alphaPremultiplied)
{
    if (returnPixels == nullptr)
        return gmpi::MP_FAIL;
    *returnPixels = nullptr;
    VSTGUI::IPlatformBitmap* platform = bitmap_->getPlatformBitmap();
    VSTGUI::IPlatformBitmapPixelAccess* access = platform ? platform->lockPixels(alphaPremultiplied) : nullptr;
    if (access == nullptr)
        return gmpi::MP_FAIL;
    *returnPixels = static_cast<gmpi_gui::IMpBitmapPixels*>(new PGCVG_bitmapPixels(bitmap_, access));
    return gmpi::MP_OK;
}

PGCVG_bitmapPixels::PGCVG_bitmapPixels(VSTGUI::CBitmap* bitmap, VSTGUI::IPlatformBitmapPixelAccess* access)
    : bitmap_(bitmap), access_(access)
{
    bitmap_->remember();
}

PGCVG_bitmapPixels::~PGCVG_bitmapPixels()
{
    access_->forget();
    bitmap_->forget();
}

uint8_t* PGCVG_bitmapPixels::getAddress() const
{
    return access_->getAddress();
}

int32_t PGCVG_bitmapPixels::getBytesPerRow()
{
    return static_cast<int32_t>(access_->getBytesPerRow());
}

int32_t PGCVG_bitmapPixels::getPixelFormat()
{
    return static_cast<int32_t>(access_->getPixelFormat());
}
