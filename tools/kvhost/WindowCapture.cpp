#include "tools/kvhost/WindowCapture.h"

#include <cairo.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace
{
// The shift that brings the lowest bit of a colour mask to bit 0.
int Shift(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1u) == 0)
    {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int CaptureErrors = 0;
int CountError(Display*, XErrorEvent*)
{
    ++CaptureErrors;
    return 0;
}
} // namespace

int WindowImage::count(int x0, int y0, int x1, int y1, std::uint32_t rgb) const
{
    int found = 0;
    for (int y = y0; y < y1; ++y)
    {
        for (int x = x0; x < x1; ++x)
        {
            if (x >= 0 && y >= 0 && x < width && y < height && at(x, y) == rgb)
                ++found;
        }
    }
    return found;
}

bool CaptureWindow(Display* display, unsigned long window, WindowImage& image, std::string& error)
{
    if (display == nullptr || window == 0)
    {
        error = "no window to capture";
        return false;
    }
    // A window that is gone answers with an error, not an image.
    XSync(display, False);
    CaptureErrors = 0;
    XErrorHandler previous = XSetErrorHandler(CountError);
    XWindowAttributes attributes{};
    const Status known = XGetWindowAttributes(display, window, &attributes);
    // Read from the screen, not the window: what lies over the window (a
    // menu's list) is part of what the user sees, and a window's own
    // contents under such a list may be kept apart by the server.
    XImage* shot = nullptr;
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (known != 0 && attributes.map_state == IsViewable && attributes.width > 0 && attributes.height > 0 &&
        XTranslateCoordinates(display, window, attributes.root, 0, 0, &rootX, &rootY, &child))
        shot = XGetImage(display, attributes.root, rootX, rootY, static_cast<unsigned>(attributes.width),
                         static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (shot == nullptr)
    {
        error = "the window cannot be read (gone or not shown)";
        return false;
    }
    if (shot->bits_per_pixel != 32 || attributes.visual == nullptr || attributes.visual->c_class != TrueColor)
    {
        XDestroyImage(shot);
        error = "the window is not in 24-bit true colour";
        return false;
    }
    const unsigned long masks[3] = {shot->red_mask, shot->green_mask, shot->blue_mask};
    const int shifts[3] = {Shift(masks[0]), Shift(masks[1]), Shift(masks[2])};
    image.width = shot->width;
    image.height = shot->height;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0u);
    for (int y = 0; y < image.height; ++y)
    {
        for (int x = 0; x < image.width; ++x)
        {
            const unsigned long pixel = XGetPixel(shot, x, y);
            std::uint32_t rgb = 0;
            for (int c = 0; c < 3; ++c)
                rgb = (rgb << 8) | static_cast<std::uint32_t>(((pixel & masks[c]) >> shifts[c]) & 0xffu);
            image.pixels[static_cast<std::size_t>(y) * image.width + x] = rgb;
        }
    }
    XDestroyImage(shot);
    return true;
}

bool WritePng(const WindowImage& image, const std::string& path, std::string& error)
{
    if (image.width <= 0 || image.height <= 0)
    {
        error = "empty image";
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_destroy(surface);
        error = "cannot make an image of that size";
        return false;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y)
    {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x)
            row[x] = image.pixels[static_cast<std::size_t>(y) * image.width + x];
    }
    cairo_surface_mark_dirty(surface);
    const cairo_status_t written = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (written != CAIRO_STATUS_SUCCESS)
    {
        error = "cannot write " + path + ": " + cairo_status_to_string(written);
        return false;
    }
    return true;
}
