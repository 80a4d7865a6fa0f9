#include "editor/toolkit/x11/X11Painter.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <cairo.h>

#include "editor/toolkit/CDrawContext.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace VSTGUI {

X11Painter::X11Painter(Display* display, void* visual, int depth, unsigned long window)
    : display_(display), visual_(visual), depth_(depth)
{
    gc_ = XCreateGC(display_, window, 0, nullptr);
}

X11Painter::~X11Painter()
{
    if (gc_)
        XFreeGC(display_, static_cast<GC>(gc_));
}

void X11Painter::paint(unsigned long window, const std::vector<CRect>& rects, CCoord width, CCoord height,
                     const std::function<void(CDrawContext& context)>& draw)
{
    if (gc_ == nullptr || rects.empty())
        return;
    CRect area = rects.front();
    for (const CRect& r : rects)
        area.unite(r);
    area.bound(CRect(0, 0, width, height));
    area = CRect(std::floor(area.left), std::floor(area.top), std::ceil(area.right), std::ceil(area.bottom));
    if (area.isEmpty())
        return;
    const int w = static_cast<int>(area.getWidth());
    const int h = static_cast<int>(area.getHeight());
    // Off screen in an image of the rectangles' bounds; nothing half drawn shows.
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_destroy(image);
        return;
    }
    cairo_surface_set_device_offset(image, -area.left, -area.top);
    {
        cairo_t* cr = cairo_create(image);
        CDrawContext context(cr, CRect(0, 0, width, height));
        draw(context);
        cairo_destroy(cr);
    }
    cairo_surface_flush(image);

    // The image's rows as an X image: as they are where the window's pixels
    // are laid out like cairo's (24-bit true colour, 32 bits a pixel, in the
    // byte order of this machine), else pixel by pixel.
    auto* visual = static_cast<Visual*>(visual_);
    auto* data = reinterpret_cast<char*>(cairo_image_surface_get_data(image));
    const int stride = cairo_image_surface_get_stride(image);
    const bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    const bool same = visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 && visual->blue_mask == 0x0000ff &&
                      depth_ >= 24 && ImageByteOrder(display_) == (littleEndian ? LSBFirst : MSBFirst);
    XImage* pixels = XCreateImage(display_, visual, static_cast<unsigned>(depth_), ZPixmap, 0,
                                  same ? data : nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32,
                                  same ? stride : 0);
    if (pixels != nullptr && !same)
    {
        pixels->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(pixels->bytes_per_line) * h));
        for (int y = 0; pixels->data != nullptr && y < h; ++y)
        {
            const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < w; ++x)
            {
                const uint32_t rgb = row[x];
                const auto scale = [](uint32_t value, unsigned long mask) {
                    unsigned long shifted = mask;
                    int shift = 0;
                    while (shifted != 0 && (shifted & 1u) == 0)
                    {
                        shifted >>= 1;
                        ++shift;
                    }
                    return (static_cast<unsigned long>(value) * shifted / 255u) << shift;
                };
                XPutPixel(pixels, x, y,
                          scale((rgb >> 16) & 0xffu, visual->red_mask) | scale((rgb >> 8) & 0xffu, visual->green_mask) |
                              scale(rgb & 0xffu, visual->blue_mask));
            }
        }
    }
    if (pixels != nullptr && pixels->data != nullptr)
    {
        for (CRect r : rects)
        {
            r.bound(area);
            r = CRect(std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom));
            if (r.isEmpty())
                continue;
            XPutImage(display_, window, static_cast<GC>(gc_), pixels, static_cast<int>(r.left - area.left),
                      static_cast<int>(r.top - area.top), static_cast<int>(r.left), static_cast<int>(r.top),
                      static_cast<unsigned>(r.getWidth()), static_cast<unsigned>(r.getHeight()));
        }
    }
    if (pixels != nullptr)
    {
        // The rows are cairo's: XDestroyImage must not free them.
        if (same)
            pixels->data = nullptr;
        XDestroyImage(pixels);
    }
    cairo_surface_destroy(image);
}

} // namespace VSTGUI
