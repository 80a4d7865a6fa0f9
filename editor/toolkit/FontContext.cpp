#include "editor/toolkit/FontContext.h"

#include <pango/pangocairo.h>

#include "editor/toolkit/VSTGUIFwd.h"

namespace VSTGUI {

PangoContext* measuringContext(bool antialias)
{
    static PangoContext* contexts[2] = {nullptr, nullptr};
    PangoContext*& context = contexts[antialias ? 1 : 0];
    if (!context)
    {
        context = pango_font_map_create_context(pango_cairo_font_map_get_default());
        // Widths that scale with the size, as drawn text has them.
        pango_context_set_round_glyph_positions(context, FALSE);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
    }
    return context;
}

void applyFontToLayout(PangoLayout* layout, const PangoFontDescription* description, int style)
{
    pango_layout_set_font_description(layout, description);
    PangoAttrList* attributes = pango_attr_list_new();
    if (style & kUnderlineFace)
        pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (style & kStrikethroughFace)
        pango_attr_list_insert(attributes, pango_attr_strikethrough_new(TRUE));
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
}

void setLayoutText(PangoLayout* layout, const char* text)
{
    if (g_utf8_validate(text, -1, nullptr))
    {
        pango_layout_set_text(layout, text, -1);
        return;
    }
    gchar* valid = g_utf8_make_valid(text, -1);
    pango_layout_set_text(layout, valid, -1);
    g_free(valid);
}

} // namespace VSTGUI

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps its caches for the life of the process, which the leak
// checker would report; the toolkit's own objects are still checked.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
