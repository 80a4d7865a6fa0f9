#pragma once
// A font by face name, size in pixels and face bits, and its platform font:
// the metrics and string width that pango gives for it, with faces found by
// fontconfig. A face that is not installed falls back to the default face.
// UI thread only.

#include <memory>

#include "editor/toolkit/CBaseObject.h"

typedef struct _PangoFontDescription PangoFontDescription;

namespace VSTGUI {

class IFontPainter
{
public:
    virtual ~IFontPainter() = default;
    // Width of one line of UTF-8 text; context may be null.
    virtual CCoord getStringWidth(CDrawContext* context, UTF8StringPtr string, bool antialias = true) const = 0;
};

class IPlatformFont : public CBaseObject, public IFontPainter
{
public:
    IPlatformFont(UTF8StringPtr name, CCoord size, int32_t style);
    ~IPlatformFont() override;

    double getAscent() const { return ascent_; }
    double getDescent() const { return descent_; }
    double getLeading() const { return leading_; }
    double getCapHeight() const { return capHeight_; }
    const IFontPainter* getPainter() const { return this; }

    CCoord getStringWidth(CDrawContext* context, UTF8StringPtr string, bool antialias = true) const override;

    // The pango description, with the fallback face already chosen; null for
    // a font of size 0 or less, which has no metrics and draws nothing.
    PangoFontDescription* getDescription() const { return description_; }
    int32_t getStyle() const { return style_; }

    static constexpr CCoord kMaxSize = 1000;

private:
    PangoFontDescription* description_ = nullptr;
    int32_t style_ = 0;
    double ascent_ = 0, descent_ = 0, leading_ = 0, capHeight_ = 0;
};

class CFontDesc : public CBaseObject
{
public:
    CFontDesc(UTF8StringPtr name = "", CCoord size = 0, int32_t style = 0);
    CFontDesc(const CFontDesc& other);
    ~CFontDesc() override;

    const UTF8String& getName() const { return name_; }
    CCoord getSize() const { return size_; }
    int32_t getStyle() const { return style_; }
    void setName(UTF8StringPtr name);
    void setSize(CCoord size);
    void setStyle(int32_t style);

    // Made on first use and kept until the description changes.
    IPlatformFont* getPlatformFont() const;

    // The face used when none is named or the named one is not installed.
    static UTF8StringPtr defaultFaceName();

private:
    void reset();

    UTF8String name_;
    CCoord size_;
    int32_t style_;
    mutable IPlatformFont* platformFont_ = nullptr;
};

} // namespace VSTGUI
