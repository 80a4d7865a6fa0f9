#include "editor/toolkit/IPlatformBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {

int capDimension(double value, const char* what)
{
    if (!(value > 0))
        return 0;
    if (value > IPlatformBitmap::kMaxSize)
    {
        toolkitLog("%s of %lld pixels capped at %d", what, std::llround(value), IPlatformBitmap::kMaxSize);
        return IPlatformBitmap::kMaxSize;
    }
    return int(value);
}

cairo_surface_t* newSurface(int width, int height)
{
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 0), std::max(height, 0));
}

bool usable(cairo_surface_t* surface)
{
    return surface && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
}

// A surface from a decoded pixbuf, premultiplying its alpha.
cairo_surface_t* surfaceFromPixbuf(GdkPixbuf* pixbuf)
{
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    if (width > IPlatformBitmap::kMaxSize || height > IPlatformBitmap::kMaxSize)
        return nullptr;
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool hasAlpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < (hasAlpha ? 4 : 3))
        return nullptr;
    cairo_surface_t* surface = newSurface(width, height);
    if (!usable(surface))
        return nullptr;
    cairo_surface_flush(surface);
    const int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char* target = cairo_image_surface_get_data(surface);
    for (int y = 0; y < height; ++y)
    {
        const guchar* s = source + y * sourceStride;
        uint32_t* t = reinterpret_cast<uint32_t*>(target + y * stride);
        for (int x = 0; x < width; ++x, s += channels)
        {
            const uint32_t a = hasAlpha ? s[3] : 255;
            const uint32_t r = (s[0] * a + 127) / 255, g = (s[1] * a + 127) / 255, b = (s[2] * a + 127) / 255;
            t[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

struct MemoryReader
{
    const unsigned char* data;
    size_t size;
    size_t position;
};

cairo_status_t readMemory(void* closure, unsigned char* out, unsigned int length)
{
    auto* reader = static_cast<MemoryReader*>(closure);
    if (reader->size - reader->position < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

bool isPng(const unsigned char* data, size_t size)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return size >= 8 && std::memcmp(data, signature, 8) == 0;
}

bool tooLarge(cairo_surface_t* surface)
{
    return cairo_image_surface_get_width(surface) > IPlatformBitmap::kMaxSize ||
           cairo_image_surface_get_height(surface) > IPlatformBitmap::kMaxSize;
}

// Decodes an image held in memory; null when it is not a whole image.
cairo_surface_t* decode(const unsigned char* data, size_t size)
{
    if (!data || size == 0)
        return nullptr;
    if (isPng(data, size))
    {
        // Refuse absurd sizes from the header before anything is allocated.
        if (size < 24)
            return nullptr;
        const auto be32 = [data](size_t at) {
            return (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) | (uint32_t(data[at + 2]) << 8) |
                   uint32_t(data[at + 3]);
        };
        if (be32(16) > uint32_t(IPlatformBitmap::kMaxSize) || be32(20) > uint32_t(IPlatformBitmap::kMaxSize))
            return nullptr;
        MemoryReader reader{data, size, 0};
        cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readMemory, &reader);
        if (!usable(surface) || tooLarge(surface))
        {
            cairo_surface_destroy(surface);
            return nullptr;
        }
        // Whatever cairo read, hand out 32-bit ARGB.
        if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        {
            cairo_surface_t* converted =
                newSurface(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
            cairo_t* cr = cairo_create(converted);
            cairo_set_source_surface(cr, surface, 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
            cairo_surface_destroy(surface);
            surface = converted;
        }
        return surface;
    }
    // BMP and JPEG only, known by their first bytes.
    const char* type = nullptr;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M')
        type = "bmp";
    else if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff)
        type = "jpeg";
    if (!type)
        return nullptr;
    GError* error = nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, &error);
    if (!loader)
    {
        if (error)
            g_clear_error(&error);
        return nullptr;
    }
    // An absurd size from the header is decoded at 1 x 1 and then refused.
    bool tooBig = false;
    g_signal_connect(loader, "size-prepared", G_CALLBACK(+[](GdkPixbufLoader* l, gint w, gint h, gpointer flag) {
                         if (w > IPlatformBitmap::kMaxSize || h > IPlatformBitmap::kMaxSize)
                         {
                             *static_cast<bool*>(flag) = true;
                             gdk_pixbuf_loader_set_size(l, 1, 1);
                         }
                     }),
                     &tooBig);
    bool ok = gdk_pixbuf_loader_write(loader, data, size, &error);
    if (error)
        g_clear_error(&error);
    ok = gdk_pixbuf_loader_close(loader, &error) && ok;
    if (error)
        g_clear_error(&error);
    cairo_surface_t* surface = nullptr;
    GdkPixbuf* pixbuf = ok && !tooBig ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pixbuf)
        surface = surfaceFromPixbuf(pixbuf);
    g_object_unref(loader);
    return surface;
}

cairo_surface_t* decodeFile(const std::string& path)
{
    GError* error = nullptr;
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, &error))
    {
        toolkitLog("cannot read image \"%s\": %s", path.c_str(), error ? error->message : "unknown error");
        if (error)
            g_clear_error(&error);
        return nullptr;
    }
    cairo_surface_t* surface = decode(reinterpret_cast<const unsigned char*>(contents), length);
    g_free(contents);
    if (!surface)
        toolkitLog("\"%s\" is not a whole PNG, BMP or JPEG image", path.c_str());
    return surface;
}

// Pixels handed out straight: a copy without premultiplied alpha, written
// back premultiplied when the lock ends.
class PixelAccess : public IPlatformBitmapPixelAccess
{
public:
    PixelAccess(IPlatformBitmap* bitmap, bool premultiplied) : bitmap_(bitmap), premultiplied_(premultiplied)
    {
        bitmap_->remember();
        cairo_surface_t* surface = bitmap_->getSurface();
        cairo_surface_flush(surface);
        stride_ = uint32_t(cairo_image_surface_get_stride(surface));
        height_ = cairo_image_surface_get_height(surface);
        width_ = cairo_image_surface_get_width(surface);
        data_ = cairo_image_surface_get_data(surface);
        if (!premultiplied_ && data_)
        {
            copy_.assign(data_, data_ + size_t(stride_) * height_);
            for (int y = 0; y < height_; ++y)
            {
                auto* row = reinterpret_cast<uint32_t*>(copy_.data() + size_t(y) * stride_);
                for (int x = 0; x < width_; ++x)
                    row[x] = unpremultiply(row[x]);
            }
        }
    }

    ~PixelAccess() override
    {
        if (!premultiplied_ && data_)
        {
            for (int y = 0; y < height_; ++y)
            {
                auto* source = reinterpret_cast<const uint32_t*>(copy_.data() + size_t(y) * stride_);
                auto* target = reinterpret_cast<uint32_t*>(data_ + size_t(y) * stride_);
                for (int x = 0; x < width_; ++x)
                    target[x] = premultiply(source[x]);
            }
        }
        cairo_surface_mark_dirty(bitmap_->getSurface());
        bitmap_->forget();
    }

    uint8_t* getAddress() const override
    {
        return premultiplied_ ? data_ : const_cast<uint8_t*>(copy_.data());
    }
    uint32_t getBytesPerRow() const override { return stride_; }
    // Cairo keeps each pixel as one native 32-bit word A R G B: in memory on
    // a little-endian machine that is B, G, R, A.
    PixelFormat getPixelFormat() const override { return kBGRA; }

private:
    static uint32_t unpremultiply(uint32_t p)
    {
        const uint32_t a = p >> 24;
        if (a == 0)
            return 0;
        const auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
        return (a << 24) | (channel((p >> 16) & 0xff) << 16) | (channel((p >> 8) & 0xff) << 8) | channel(p & 0xff);
    }
    static uint32_t premultiply(uint32_t p)
    {
        const uint32_t a = p >> 24;
        const auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
        return (a << 24) | (channel((p >> 16) & 0xff) << 16) | (channel((p >> 8) & 0xff) << 8) | channel(p & 0xff);
    }

    IPlatformBitmap* bitmap_;
    bool premultiplied_;
    uint8_t* data_ = nullptr;
    uint32_t stride_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> copy_;
};

} // namespace

IPlatformBitmap::IPlatformBitmap(cairo_surface_t* surface)
{
    adopt(surface);
}

IPlatformBitmap::~IPlatformBitmap()
{
    cairo_surface_destroy(surface_);
}

void IPlatformBitmap::adopt(cairo_surface_t* surface)
{
    cairo_surface_destroy(surface_);
    surface_ = surface;
    size_ = CPoint(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
}

IPlatformBitmap* IPlatformBitmap::create(CPoint* size)
{
    const int width = size ? capDimension(size->x, "bitmap width") : 0;
    const int height = size ? capDimension(size->y, "bitmap height") : 0;
    cairo_surface_t* surface = newSurface(width, height);
    if (!usable(surface))
    {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return new IPlatformBitmap(surface);
}

IPlatformBitmap* IPlatformBitmap::createFromPath(UTF8StringPtr absolutePath)
{
    if (!absolutePath || !*absolutePath)
        return nullptr;
    cairo_surface_t* surface = decodeFile(absolutePath);
    return surface ? new IPlatformBitmap(surface) : nullptr;
}

IPlatformBitmap* IPlatformBitmap::createFromMemory(const void* data, uint32_t size)
{
    cairo_surface_t* surface = decode(static_cast<const unsigned char*>(data), size);
    return surface ? new IPlatformBitmap(surface) : nullptr;
}

bool IPlatformBitmap::load(const CResourceDescription& description)
{
    const std::string path = CResourceDescription::pathOf(description.name);
    if (path.empty())
    {
        toolkitLog("no bundle resource \"%s\"", description.name.c_str());
        return false;
    }
    cairo_surface_t* surface = decodeFile(path);
    if (!surface)
        return false;
    adopt(surface);
    return true;
}

IPlatformBitmapPixelAccess* IPlatformBitmap::lockPixels(bool alphaPremultiplied)
{
    return new PixelAccess(this, alphaPremultiplied);
}

} // namespace VSTGUI
