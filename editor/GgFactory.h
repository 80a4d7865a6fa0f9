#pragma once
// A process-wide factory whose path geometries record their points in memory
// instead of building a toolkit path (for modules that measure or hit-test
// shapes outside a paint). Drawing contexts do not draw these geometries.
// UI thread only.

#include <vector>

#include "editor/GmpiGuiObject.h"

namespace GmpiGuiHosting
{

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GgFactory final : public gmpi_gui::IFactory
{
public:
    static GgFactory* GetInstance();

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // One object for the process: nothing is counted.
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t CreatePathGeometry(gmpi_gui::IPathGeometry** returnPathGeometry) override;

private:
    GgFactory() = default;
};
#pragma GCC diagnostic pop

class PathGeometry final : public GmpiGuiObject<gmpi_gui::IPathGeometry, gmpi_gui::KV_IID_GRAPHICS_PATHGEOMETRY>
{
public:
    // Clears the closed flag (the points stay) and gives a sink writing here.
    int32_t Open(gmpi_gui::IGeometrySink** returnGeometrySink) override;

    const std::vector<gmpi_gui::Point>& Points() const { return points_; }
    bool IsClosed() const { return closed_; }

private:
    friend class GeometrySink;
    ~PathGeometry() override;

    std::vector<gmpi_gui::Point> points_;
    bool closed_ = false;
    // The sinks writing here, told when the geometry goes.
    std::vector<class GeometrySink*> sinks_;
};

// Writes into its geometry; holds no reference on it, and writes nothing
// once the geometry is gone.
class GeometrySink final : public GmpiGuiObject<gmpi_gui::IGeometrySink, gmpi_gui::KV_IID_GRAPHICS_GEOMETRYSINK>
{
public:
    explicit GeometrySink(PathGeometry* geometry);
    // Empties the points, then starts with startPoint.
    void BeginFigure(gmpi_gui::Point startPoint, gmpi_gui::GG_FIGURE_BEGIN figureBegin) override;
    void AddLine(gmpi_gui::Point point) override;
    void EndFigure(gmpi_gui::GG_FIGURE_END figureEnd) override;
    int32_t Close() override { return gmpi::MP_OK; }

private:
    friend class PathGeometry;
    ~GeometrySink() override;

    PathGeometry* geometry_;
};

} // namespace GmpiGuiHosting
