#include "editor/toolkit/COffscreenContext.h"

#include "editor/toolkit/CFrame.h"

namespace VSTGUI {

std::unique_ptr<COffscreenContext> COffscreenContext::create(CCoord width, CCoord height)
{
    const int w = int(std::clamp<CCoord>(width, 0, CFrame::kMaxSize));
    const int h = int(std::clamp<CCoord>(height, 0, CFrame::kMaxSize));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_t* cr = cairo_create(surface);
    std::unique_ptr<COffscreenContext> context(new COffscreenContext(cr, surface, CRect(0, 0, w, h)));
    cairo_destroy(cr);
    return context;
}

COffscreenContext::COffscreenContext(cairo_t* cr, cairo_surface_t* surface, const CRect& rect)
    : CDrawContext(cr, rect), surface_(surface)
{
}

COffscreenContext::~COffscreenContext()
{
    cairo_surface_destroy(surface_);
}

int COffscreenContext::getWidth() const
{
    return cairo_image_surface_get_width(surface_);
}

int COffscreenContext::getHeight() const
{
    return cairo_image_surface_get_height(surface_);
}

CColor COffscreenContext::getPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= getWidth() || y >= getHeight())
        return kTransparentCColor;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const uint32_t p =
        *reinterpret_cast<const uint32_t*>(data + size_t(y) * cairo_image_surface_get_stride(surface_) + size_t(x) * 4);
    const uint32_t a = p >> 24;
    if (a == 0)
        return kTransparentCColor;
    const auto channel = [a](uint32_t c) { return uint8_t(std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
    return CColor(channel((p >> 16) & 0xff), channel((p >> 8) & 0xff), channel(p & 0xff), uint8_t(a));
}

void COffscreenContext::clear(const CColor& color)
{
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
}

bool COffscreenContext::writePNG(const std::string& path) const
{
    cairo_surface_flush(surface_);
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace VSTGUI
