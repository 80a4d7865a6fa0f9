#pragma once
// The pixels of a bitmap: a cairo image surface in premultiplied 32-bit
// ARGB. PNG files are read by cairo, BMP and JPEG by gdk-pixbuf. A missing,
// truncated or corrupt file gives no bitmap. UI thread only.

#include <cairo.h>

#include "editor/toolkit/CBaseObject.h"
#include "editor/toolkit/CPoint.h"
#include "editor/toolkit/CResourceDescription.h"

namespace VSTGUI {

// Locked pixels, rows of 32-bit pixels; forget() ends the lock.
class IPlatformBitmapPixelAccess : public CBaseObject
{
public:
    enum PixelFormat : int32_t
    {
        kARGB = 0,
        kRGBA = 1,
        kABGR = 2,
        kBGRA = 3,
    };

    virtual uint8_t* getAddress() const = 0;
    virtual uint32_t getBytesPerRow() const = 0;
    virtual PixelFormat getPixelFormat() const = 0;
};

class IPlatformBitmap : public CBaseObject
{
public:
    // An empty bitmap of that size (transparent), or a zero-size one to load
    // into. Sizes are capped at kMaxSize.
    static IPlatformBitmap* create(CPoint* size = nullptr);
    // Null when the file cannot be read as an image.
    static IPlatformBitmap* createFromPath(UTF8StringPtr absolutePath);
    static IPlatformBitmap* createFromMemory(const void* data, uint32_t size);

    ~IPlatformBitmap() override;

    // Replaces the pixels with the image of a bundle resource; false (the
    // bitmap unchanged) when it cannot be read.
    bool load(const CResourceDescription& description);
    const CPoint& getSize() const { return size_; }
    // The caller forgets the access. Without premultiplied alpha the pixels
    // are handed out straight and premultiplied again when the lock ends.
    IPlatformBitmapPixelAccess* lockPixels(bool alphaPremultiplied);

    cairo_surface_t* getSurface() const { return surface_; }

    static constexpr int kMaxSize = 8192;

private:
    explicit IPlatformBitmap(cairo_surface_t* surface);
    void adopt(cairo_surface_t* surface);

    cairo_surface_t* surface_ = nullptr;
    CPoint size_;
};

} // namespace VSTGUI
