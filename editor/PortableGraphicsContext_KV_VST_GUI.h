#pragma once
// The drawing context a graphics-API module (and a module's title bar) draws
// through during one paint, over the toolkit's draw context. It lives on the
// stack of the paint: addRef and release count nothing. Brushes, geometries,
// text formats and bitmaps a module hands back are used only when they are
// this layer's own and alive; anything else draws nothing. UI thread only.

#include "editor/PGCVG_Factory.h"
#include "editor/toolkit/CColor.h"

class PortableGraphicsContext_KV_VST_GUI final : public gmpi_gui::IMpGraphicsDrawContext
{
public:
    explicit PortableGraphicsContext_KV_VST_GUI(VSTGUI::CDrawContext* context);
    // Ends the paint: factories handed out no longer reach the context.
    ~PortableGraphicsContext_KV_VST_GUI();
    PortableGraphicsContext_KV_VST_GUI(const PortableGraphicsContext_KV_VST_GUI&) = delete;
    PortableGraphicsContext_KV_VST_GUI& operator=(const PortableGraphicsContext_KV_VST_GUI&) = delete;

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    void GetFactory(gmpi_gui::IFactory** returnFactory) override;
    int32_t CreateSolidColorBrush(const gmpi_gui::Color& color, gmpi_gui::ISolidColorBrush** returnBrush) override;
    // Stroked, moved by (-1, -0.5) for an odd whole stroke width and (-1.5, -0.5) for an even one.
    void DrawRectangle(const gmpi_gui::Rect& rect, gmpi_gui::IBrush* brush, float strokeWidth,
                       gmpi_gui::IStrokeStyle* strokeStyle) override;
    void FillRectangle(const gmpi_gui::Rect& rect, gmpi_gui::IBrush* brush) override;
    void DrawLine(gmpi_gui::Point point0, gmpi_gui::Point point1, gmpi_gui::IBrush* brush, float strokeWidth,
                  gmpi_gui::IStrokeStyle* strokeStyle) override;
    void DrawGeometry(gmpi_gui::IGeometry* geometry, gmpi_gui::IBrush* brush, float strokeWidth,
                      gmpi_gui::IStrokeStyle* strokeStyle) override;
    void DrawTextU(const char* utf8String, int32_t stringLength, gmpi_gui::IMpGraphicsTextFormat* textFormat,
                   gmpi_gui::Rect layoutRect, gmpi_gui::IBrush* brush, int32_t flags) override;
    void DrawBitmap(gmpi_gui::IMpBitmap* bitmap, gmpi_gui::Rect destinationRectangle, float opacity,
                    int32_t interpolationMode, gmpi_gui::Rect sourceRectangle) override;
    void Test() override {}

    // Each component times 255, truncated (clamped to 0..255; NaN gives 0).
    static VSTGUI::CColor ToCColor(const gmpi_gui::Color& color);
    VSTGUI::CDrawContext* Context() const { return context_; }

private:
    // The brush's colour; false for a brush that gives none.
    static bool BrushColor(gmpi_gui::IBrush* brush, VSTGUI::CColor& color);

    VSTGUI::CDrawContext* context_;
    PaintContextCell cell_;
};
