#include "editor/toolkit/CDrawContext.h"

#include <cmath>

#include <pango/pangocairo.h>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CGraphicsPath.h"
#include "editor/toolkit/FontContext.h"
#include "editor/toolkit/IPlatformBitmap.h"

namespace VSTGUI {

CDrawContext::Transform::Transform(CDrawContext& context, const CGraphicsTransform& transform) : context_(context)
{
    context_.pushTransform(transform);
}

CDrawContext::Transform::~Transform()
{
    context_.popTransform();
}

CDrawContext::CDrawContext(cairo_t* cr, const CRect& surfaceRect) : cr_(cairo_reference(cr)), surfaceRect_(surfaceRect)
{
    state_.clip = surfaceRect;
    state_.limit = surfaceRect;
    cairo_save(cr_);
    applyClip();
    applyMatrix();
}

CDrawContext::~CDrawContext()
{
    while (!saved_.empty())
        restoreGlobalState();
    setStateFont(state_, nullptr);
    if (layout_)
        g_object_unref(layout_);
    cairo_restore(cr_);
    cairo_destroy(cr_);
}

void CDrawContext::setStateFont(State& state, const CFontDesc* font)
{
    if (font)
        const_cast<CFontDesc*>(font)->remember();
    if (state.font)
        const_cast<CFontDesc*>(state.font)->forget();
    state.font = font;
}

void CDrawContext::setFont(const CFontDesc* font, CCoord size, int32_t style)
{
    if (!font)
        return;
    // A size or style of its own makes a font of its own.
    if ((size > 0 && size != font->getSize()) || (style >= 0 && style != font->getStyle()))
    {
        auto* own = new CFontDesc(font->getName().c_str(), size > 0 ? size : font->getSize(),
                                  style >= 0 ? style : font->getStyle());
        setStateFont(state_, own);
        own->forget();
    }
    else
    {
        setStateFont(state_, font);
    }
}

void CDrawContext::applyMatrix()
{
    const CGraphicsTransform& t = state_.transform;
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.m11, t.m21, t.m12, t.m22, t.dx, t.dy);
    cairo_set_matrix(cr_, &m);
}

void CDrawContext::applyClip()
{
    CRect clip = state_.clip;
    clip.bound(state_.limit);
    cairo_reset_clip(cr_);
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_rectangle(cr_, clip.left, clip.top, clip.getWidth(), clip.getHeight());
    cairo_restore(cr_);
    cairo_clip(cr_);
}

void CDrawContext::applyColor(const CColor& c)
{
    cairo_set_source_rgba(cr_, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CDrawContext::applyStroke()
{
    cairo_set_line_width(cr_, state_.lineWidth);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
}

void CDrawContext::pushTransform(const CGraphicsTransform& transform)
{
    transforms_.push_back(state_.transform);
    state_.transform = state_.transform * transform;
    applyMatrix();
}

void CDrawContext::popTransform()
{
    if (transforms_.empty())
        return;
    state_.transform = transforms_.back();
    transforms_.pop_back();
    applyMatrix();
}

void CDrawContext::setClipRect(const CRect& clip)
{
    CRect r = clip;
    state_.transform.transform(r);
    state_.clip = r;
    applyClip();
}

CRect& CDrawContext::getClipRect(CRect& clip) const
{
    clip = state_.clip;
    clip.bound(state_.limit);
    state_.transform.inverse().transform(clip);
    return clip;
}

void CDrawContext::resetClipRect()
{
    state_.clip = surfaceRect_;
    applyClip();
}

void CDrawContext::setClipLimit(const CRect& rect)
{
    state_.limit = rect;
    applyClip();
}

void CDrawContext::saveGlobalState()
{
    saved_.push_back(state_);
    if (state_.font)
        const_cast<CFontDesc*>(state_.font)->remember();
    cairo_save(cr_);
}

void CDrawContext::restoreGlobalState()
{
    if (saved_.empty())
        return;
    setStateFont(state_, nullptr);
    state_ = saved_.back();
    saved_.pop_back();
    cairo_restore(cr_);
    applyClip();
    applyMatrix();
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style)
{
    cairo_set_antialias(cr_, state_.drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    if (style == kDrawFilled || style == kDrawFilledAndStroked)
    {
        cairo_rectangle(cr_, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        applyColor(state_.fillColor);
        cairo_fill(cr_);
    }
    if (style == kDrawStroked || style == kDrawFilledAndStroked)
    {
        const double half = state_.lineWidth / 2;
        cairo_rectangle(cr_, rect.left + half, rect.top + half, rect.getWidth() - 2 * half,
                        rect.getHeight() - 2 * half);
        applyColor(state_.frameColor);
        applyStroke();
        cairo_stroke(cr_);
    }
}

void CDrawContext::drawLine(const CPoint& start, const CPoint& end)
{
    cairo_set_antialias(cr_, state_.drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    // Lines of odd integer width run through pixel centres, so a line at
    // y = 10 covers the pixel row 10.
    const double w = state_.lineWidth;
    const double shift = (std::fmod(std::round(w), 2.0) == 1.0 && std::round(w) == w) ? 0.5 : 0.0;
    cairo_move_to(cr_, start.x + shift, start.y + shift);
    cairo_line_to(cr_, end.x + shift, end.y + shift);
    applyColor(state_.frameColor);
    applyStroke();
    cairo_stroke(cr_);
}

CGraphicsPath* CDrawContext::createGraphicsPath()
{
    return new CGraphicsPath();
}

void CDrawContext::drawGraphicsPath(CGraphicsPath* path, PathDrawMode mode, CGraphicsTransform* transform)
{
    if (!path)
        return;
    if (transform)
        pushTransform(*transform);
    cairo_set_antialias(cr_, state_.drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    path->applyTo(cr_);
    if (mode == kPathStroked)
    {
        applyColor(state_.frameColor);
        applyStroke();
        cairo_stroke(cr_);
    }
    else
    {
        cairo_set_fill_rule(cr_, mode == kPathFilledEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        applyColor(state_.fillColor);
        cairo_fill(cr_);
    }
    if (transform)
        popTransform();
}

PangoLayout* CDrawContext::layoutFor(UTF8StringPtr string, bool antialias)
{
    const IPlatformFont* font = state_.font ? state_.font->getPlatformFont() : nullptr;
    if (!font || !font->getDescription() || !string || !*string)
        return nullptr;
    if (!layout_)
    {
        layout_ = pango_cairo_create_layout(cr_);
        pango_context_set_round_glyph_positions(pango_layout_get_context(layout_), FALSE);
    }
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout_), options);
    cairo_font_options_destroy(options);
    pango_cairo_update_layout(cr_, layout_);
    applyFontToLayout(layout_, font->getDescription(), font->getStyle());
    setLayoutText(layout_, string);
    return layout_;
}

void CDrawContext::drawString(UTF8StringPtr string, const CRect& rect, CHoriTxtAlign align, bool antialias)
{
    PangoLayout* layout = layoutFor(string, antialias);
    if (!layout)
        return;
    const IPlatformFont* font = state_.font->getPlatformFont();
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double width = logical.width / double(PANGO_SCALE);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - width) / 2;
    else if (align == kRightText)
        x = rect.right - width;
    // The capitals sit centred between top and bottom.
    const double lift = font->getCapHeight() > 0 ? font->getCapHeight() : font->getAscent() - font->getDescent();
    double baseline = rect.top + rect.getHeight() / 2 + lift / 2;
    if (!antialias)
        baseline = std::round(baseline), x = std::round(x);
    applyColor(state_.fontColor);
    cairo_move_to(cr_, x, baseline - pango_layout_get_baseline(layout) / double(PANGO_SCALE));
    pango_cairo_show_layout(cr_, layout);
    cairo_new_path(cr_);
}

CCoord CDrawContext::getStringWidth(UTF8StringPtr string)
{
    const IPlatformFont* font = state_.font ? state_.font->getPlatformFont() : nullptr;
    return font ? font->getStringWidth(this, string, true) : 0;
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha)
{
    IPlatformBitmap* platform = bitmap ? bitmap->getPlatformBitmap() : nullptr;
    if (!platform || dest.isEmpty())
        return;
    cairo_save(cr_);
    cairo_rectangle(cr_, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr_);
    cairo_set_source_surface(cr_, platform->getSurface(), dest.left - offset.x, dest.top - offset.y);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint_with_alpha(cr_, std::clamp(double(alpha), 0.0, 1.0));
    cairo_restore(cr_);
}

} // namespace VSTGUI
