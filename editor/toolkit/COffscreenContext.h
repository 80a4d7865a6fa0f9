#pragma once
// A draw context over an image of its own (32-bit ARGB), with no window:
// frames draw into it for tests, benchmarks and screenshots. UI thread only.

#include <memory>
#include <string>

#include "editor/toolkit/CDrawContext.h"

namespace VSTGUI {

class COffscreenContext : public CDrawContext
{
public:
    // Sizes are capped like a frame's; null when no image can be made.
    static std::unique_ptr<COffscreenContext> create(CCoord width, CCoord height);
    ~COffscreenContext() override;

    int getWidth() const;
    int getHeight() const;
    // The colour at (x, y), alpha not premultiplied; transparent outside.
    CColor getPixel(int x, int y) const;
    // Fills the whole image with a colour (a clean canvas for a test).
    void clear(const CColor& color);
    bool writePNG(const std::string& path) const;
    cairo_surface_t* getSurface() const { return surface_; }

private:
    COffscreenContext(cairo_t* cr, cairo_surface_t* surface, const CRect& rect);

    cairo_surface_t* surface_;
};

} // namespace VSTGUI
