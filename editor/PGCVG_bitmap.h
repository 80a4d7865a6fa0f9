#pragma once
// A bitmap of a graphics-API module over a toolkit bitmap, and its locked
// pixels. UI thread only.

#include "editor/GmpiGuiObject.h"

namespace VSTGUI
{
class CBitmap;
class IPlatformBitmapPixelAccess;
} // namespace VSTGUI

class PGCVG_bitmap final : public GmpiGuiObject<gmpi_gui::IMpBitmap, gmpi_gui::KV_IID_GRAPHICS_BITMAP>
{
public:
    // Takes the caller's reference on the bitmap.
    explicit PGCVG_bitmap(VSTGUI::CBitmap* bitmap);
    int32_t GetSize(gmpi_gui::Size& returnSize) override;
    // MP_FAIL (and null) for a bitmap without pixels.
    int32_t lockPixels(void** returnPixels, bool alphaPremultiplied) override;
    VSTGUI::CBitmap* Bitmap() const { return bitmap_; }

    // One of ours, or null.
    static PGCVG_bitmap* From(gmpi_gui::IMpBitmap* bitmap);
    // The new object's face through returnBitmap, with one reference.
    static void HandOut(VSTGUI::CBitmap* bitmap, void** returnBitmap);

private:
    ~PGCVG_bitmap() override;
    VSTGUI::CBitmap* bitmap_;
};

// Holds the lock (and the bitmap) until its last release.
class PGCVG_bitmapPixels final
    : public GmpiGuiObject<gmpi_gui::IMpBitmapPixels, gmpi_gui::KV_IID_GRAPHICS_BITMAP_PIXELS>
{
public:
    PGCVG_bitmapPixels(VSTGUI::CBitmap* bitmap, VSTGUI::IPlatformBitmapPixelAccess* access);
    uint8_t* getAddress() const override;
    int32_t getBytesPerRow() override;
    int32_t getPixelFormat() override;

private:
    ~PGCVG_bitmapPixels() override;
    VSTGUI::CBitmap* bitmap_;
    VSTGUI::IPlatformBitmapPixelAccess* access_;
};
