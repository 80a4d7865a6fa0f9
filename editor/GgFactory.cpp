#include "editor/GgFactory.h"

#include <algorithm>

namespace GmpiGuiHosting
{

GgFactory* GgFactory::GetInstance()
{
    static GgFactory factory;
    return &factory;
}

int32_t GgFactory::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (iid != gmpi_gui::KV_IID_GRAPHICS_FACTORY && iid != gmpi::MP_IID_UNKNOWN)
        return gmpi::MP_NOSUPPORT;
    *returnInterface = static_cast<gmpi_gui::IFactory*>(this);
    return gmpi::MP_OK;
}

int32_t GgFactory::CreatePathGeometry(gmpi_gui::IPathGeometry** returnPathGeometry)
{
    if (returnPathGeometry == nullptr)
        return gmpi::MP_FAIL;
    *returnPathGeometry = new PathGeometry();
    return gmpi::MP_OK;
}

PathGeometry::~PathGeometry()
{
    for (GeometrySink* sink : sinks_)
        sink->geometry_ = nullptr;
}

int32_t PathGeometry::Open(gmpi_gui::IGeometrySink** returnGeometrySink)
{
    if (returnGeometrySink == nullptr)
        return gmpi::MP_FAIL;
    closed_ = false;
    *returnGeometrySink = new GeometrySink(this);
    return gmpi::MP_OK;
}

GeometrySink::GeometrySink(PathGeometry* geometry) : geometry_(geometry)
{
    geometry_->sinks_.push_back(this);
}

GeometrySink::~GeometrySink()
{
    if (geometry_)
    {
        auto& sinks = geometry_->sinks_;
        sinks.erase(std::remove(sinks.begin(), sinks.end(), this), sinks.end());
    }
}

void GeometrySink::BeginFigure(gmpi_gui::Point startPoint, gmpi_gui::GG_FIGURE_BEGIN)
{
    if (geometry_ == nullptr)
        return;
    geometry_->points_.clear();
    geometry_->points_.push_back(startPoint);
}

void GeometrySink::AddLine(gmpi_gui::Point point)
{
    if (geometry_)
        geometry_->points_.push_back(point);
}

void GeometrySink::EndFigure(gmpi_gui::GG_FIGURE_END figureEnd)
{
    if (geometry_)
        geometry_->closed_ = figureEnd == gmpi_gui::GG_FIGURE_END_CLOSED;
}

} // namespace GmpiGuiHosting
