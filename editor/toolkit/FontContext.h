#pragma once
// The pango context that measures text outside any drawing (metrics hinting
// off, so widths agree with drawn text), and the face bits as attributes.

typedef struct _PangoContext PangoContext;
typedef struct _PangoLayout PangoLayout;
typedef struct _PangoFontDescription PangoFontDescription;

namespace VSTGUI {

PangoContext* measuringContext(bool antialias);
// Sets the font and the underline and strike-through bits on a layout.
void applyFontToLayout(PangoLayout* layout, const PangoFontDescription* description, int style);
// Sets the text of a layout; bytes that are not UTF-8 show as replacement characters.
void setLayoutText(PangoLayout* layout, const char* text);

} // namespace VSTGUI
