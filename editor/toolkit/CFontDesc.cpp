#include "editor/toolkit/CFontDesc.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include <pango/pangocairo.h>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/FontContext.h"
#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {

// Whether fontconfig knows a family of that name (compared without case).
bool familyInstalled(const std::string& name)
{
    static std::set<std::string> families = [] {
        std::set<std::string> result;
        PangoFontFamily** list = nullptr;
        int count = 0;
        pango_font_map_list_families(pango_cairo_font_map_get_default(), &list, &count);
        for (int i = 0; i < count; ++i)
        {
            std::string n = pango_font_family_get_name(list[i]);
            std::transform(n.begin(), n.end(), n.begin(), ::tolower);
            result.insert(n);
        }
        g_free(list);
        return result;
    }();
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    // The generic names always resolve through fontconfig.
    return families.count(key) != 0 || key == "sans" || key == "serif" || key == "monospace" ||
           key == "sans-serif";
}

std::string chooseFamily(const std::string& name)
{
    if (name.empty())
        return CFontDesc::defaultFaceName();
    if (familyInstalled(name))
        return name;
    static std::set<std::string> reported;
    if (reported.insert(name).second)
        toolkitLog("font \"%s\" is not installed; using \"%s\"", name.c_str(), CFontDesc::defaultFaceName());
    return CFontDesc::defaultFaceName();
}

} // namespace

IPlatformFont::IPlatformFont(UTF8StringPtr name, CCoord size, int32_t style) : style_(style)
{
    if (!(size > 0))
        return;
    size = std::min(size, kMaxSize);
    description_ = pango_font_description_new();
    pango_font_description_set_family(description_, chooseFamily(name ? name : "").c_str());
    pango_font_description_set_absolute_size(description_, size * PANGO_SCALE);
    pango_font_description_set_weight(description_, (style & kBoldFace) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description_, (style & kItalicFace) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);

    PangoContext* context = measuringContext(true);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, description_, nullptr);
    ascent_ = pango_font_metrics_get_ascent(metrics) / double(PANGO_SCALE);
    descent_ = pango_font_metrics_get_descent(metrics) / double(PANGO_SCALE);
    const double height = pango_font_metrics_get_height(metrics) / double(PANGO_SCALE);
    leading_ = std::max(0.0, height - ascent_ - descent_);
    pango_font_metrics_unref(metrics);

    // Cap height: the top of the ink of "H" above the baseline.
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, description_);
    pango_layout_set_text(layout, "H", 1);
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    capHeight_ = std::max(0.0, (pango_layout_get_baseline(layout) - ink.y) / double(PANGO_SCALE));
    g_object_unref(layout);
}

IPlatformFont::~IPlatformFont()
{
    if (description_)
        pango_font_description_free(description_);
}

CCoord IPlatformFont::getStringWidth(CDrawContext* context, UTF8StringPtr string, bool antialias) const
{
    if (!description_ || !string || !*string)
        return 0;
    PangoLayout* layout = pango_layout_new(measuringContext(antialias));
    applyFontToLayout(layout, description_, style_);
    setLayoutText(layout, string);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return logical.width / double(PANGO_SCALE);
}

CFontDesc::CFontDesc(UTF8StringPtr name, CCoord size, int32_t style)
    : name_(name ? name : ""), size_(size), style_(style)
{
}

CFontDesc::CFontDesc(const CFontDesc& other)
    : CBaseObject(other), name_(other.name_), size_(other.size_), style_(other.style_)
{
}

CFontDesc::~CFontDesc()
{
    reset();
}

void CFontDesc::setName(UTF8StringPtr name)
{
    name_ = name ? name : "";
    reset();
}

void CFontDesc::setSize(CCoord size)
{
    size_ = size;
    reset();
}

void CFontDesc::setStyle(int32_t style)
{
    style_ = style;
    reset();
}

void CFontDesc::reset()
{
    if (platformFont_)
        platformFont_->forget();
    platformFont_ = nullptr;
}

IPlatformFont* CFontDesc::getPlatformFont() const
{
    if (!platformFont_)
        platformFont_ = new IPlatformFont(name_.c_str(), size_, style_);
    return platformFont_;
}

UTF8StringPtr CFontDesc::defaultFaceName()
{
    return "DejaVu Sans";
}

} // namespace VSTGUI
