#include "editor/PGCVG_Factory.h"

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CGraphicsPath.h"

using VSTGUI::CPoint;

int32_t PGCVG_Factory::CreatePathGeometry(gmpi_gui::IPathGeometry** returnPathGeometry)
{
    if (returnPathGeometry == nullptr)
        return gmpi::MP_FAIL;
    // A factory kept past its paint must not reach the paint's context; a
    // path needs no context to be built, so it gets one of its own.
    VSTGUI::CDrawContext* context = context_ ? *context_ : nullptr;
    VSTGUI::CGraphicsPath* path = context ? context->createGraphicsPath() : new VSTGUI::CGraphicsPath();
    *returnPathGeometry = new PGCVG_PathGeometry(path);
    return gmpi::MP_OK;
}

PGCVG_PathGeometry::PGCVG_PathGeometry(VSTGUI::CGraphicsPath* path) : path_(path)
{
    LiveObjects<PGCVG_PathGeometry>::Add(static_cast<gmpi_gui::IGeometry*>(this), this);
}

PGCVG_PathGeometry::~PGCVG_PathGeometry()
{
    LiveObjects<PGCVG_PathGeometry>::Remove(static_cast<gmpi_gui::IGeometry*>(this));
    if (path_)
        path_->forget();
}

PGCVG_PathGeometry* PGCVG_PathGeometry::From(gmpi_gui::IGeometry* geometry)
{
    return LiveObjects<PGCVG_PathGeometry>::Find(geometry);
}

int32_t PGCVG_PathGeometry::Open(gmpi_gui::IGeometrySink** returnGeometrySink)
{
    if (returnGeometrySink == nullptr)
        return gmpi::MP_FAIL;
    *returnGeometrySink = new PGCVG_GeometrySink(path_);
    return gmpi::MP_OK;
}

PGCVG_GeometrySink::PGCVG_GeometrySink(VSTGUI::CGraphicsPath* path) : path_(path)
{
    path_->remember();
}

PGCVG_GeometrySink::~PGCVG_GeometrySink()
{
    path_->forget();
}

void PGCVG_GeometrySink::BeginFigure(gmpi_gui::Point startPoint, gmpi_gui::GG_FIGURE_BEGIN)
{
    path_->beginSubpath(CPoint(startPoint.x, startPoint.y));
}

void PGCVG_GeometrySink::AddLine(gmpi_gui::Point point)
{
    path_->addLine(CPoint(point.x, point.y));
}

void PGCVG_GeometrySink::EndFigure(gmpi_gui::GG_FIGURE_END figureEnd)
{
    if (figureEnd == gmpi_gui::GG_FIGURE_END_CLOSED)
        path_->closeSubpath();
}
