#pragma once
// The drawing objects a drawing context hands out during a paint: its
// factory, path geometries over toolkit paths with their sinks, and solid
// colour brushes. A factory keeps the paint's context only while the paint
// lasts; geometries own their paths and live on after it. UI thread only.

#include <memory>

#include "editor/GmpiGuiObject.h"

namespace VSTGUI
{
class CDrawContext;
class CGraphicsPath;
} // namespace VSTGUI

// The paint's draw context, emptied when the paint ends.
using PaintContextCell = std::shared_ptr<VSTGUI::CDrawContext*>;

class PGCVG_Factory final : public GmpiGuiObject<gmpi_gui::IFactory, gmpi_gui::KV_IID_GRAPHICS_FACTORY>
{
public:
    explicit PGCVG_Factory(PaintContextCell context) : context_(std::move(context)) {}
    // A geometry made by the paint's context, or (after the paint) a path of its own.
    int32_t CreatePathGeometry(gmpi_gui::IPathGeometry** returnPathGeometry) override;

private:
    PaintContextCell context_;
};

class PGCVG_PathGeometry final
    : public GmpiGuiObject<gmpi_gui::IPathGeometry, gmpi_gui::KV_IID_GRAPHICS_PATHGEOMETRY>
{
public:
    // Takes the path over.
    explicit PGCVG_PathGeometry(VSTGUI::CGraphicsPath* path);
    int32_t Open(gmpi_gui::IGeometrySink** returnGeometrySink) override;
    VSTGUI::CGraphicsPath* Path() const { return path_; }
    // One of ours, or null.
    static PGCVG_PathGeometry* From(gmpi_gui::IGeometry* geometry);

private:
    ~PGCVG_PathGeometry() override;
    VSTGUI::CGraphicsPath* path_;
};

// Writes into its geometry's path. It holds no reference on the geometry,
// but keeps the path alive, so a sink used after its geometry went writes
// into a path nobody draws instead of freed memory.
class PGCVG_GeometrySink final
    : public GmpiGuiObject<gmpi_gui::IGeometrySink, gmpi_gui::KV_IID_GRAPHICS_GEOMETRYSINK>
{
public:
    explicit PGCVG_GeometrySink(VSTGUI::CGraphicsPath* path);
    void BeginFigure(gmpi_gui::Point startPoint, gmpi_gui::GG_FIGURE_BEGIN figureBegin) override;
    void AddLine(gmpi_gui::Point point) override;
    void EndFigure(gmpi_gui::GG_FIGURE_END figureEnd) override;
    int32_t Close() override { return gmpi::MP_OK; }

private:
    ~PGCVG_GeometrySink() override;
    VSTGUI::CGraphicsPath* path_;
};

class PGCVG_solidColorBrush final
    : public GmpiGuiObject<gmpi_gui::ISolidColorBrush, gmpi_gui::KV_IID_GRAPHICS_SOLIDCOLORBRUSH>
{
public:
    explicit PGCVG_solidColorBrush(const gmpi_gui::Color& color) : color_(color) {}
    void SetColor(const gmpi_gui::Color& color) override { color_ = color; }
    gmpi_gui::Color GetColor() override { return color_; }

private:
    gmpi_gui::Color color_;
};
