#include "editor/PortableGraphicsContext_KV_VST_GUI.h"

#include <algorithm>
#include <cmath>

#include "editor/PGCVG_bitmap.h"
#include "editor/PGCVG_textFormat.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"

using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace
{
uint8_t Component(float value)
{
    const float scaled = value * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    return static_cast<uint8_t>(std::min(scaled, 255.0f));
}

CRect ToCRect(const gmpi_gui::Rect& rect)
{
    return CRect(rect.left, rect.top, rect.right, rect.bottom);
}
} // namespace

PortableGraphicsContext_KV_VST_GUI::PortableGraphicsContext_KV_VST_GUI(VSTGUI::CDrawContext* context)
    : context_(context), cell_(std::make_shared<VSTGUI::CDrawContext*>(context))
{
}

PortableGraphicsContext_KV_VST_GUI::~PortableGraphicsContext_KV_VST_GUI()
{
    *cell_ = nullptr;
}

int32_t PortableGraphicsContext_KV_VST_GUI::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (iid != gmpi_gui::KV_IID_GRAPHICS_DRAWCONTEXT && iid != gmpi::MP_IID_UNKNOWN)
        return gmpi::MP_NOSUPPORT;
    *returnInterface = static_cast<gmpi_gui::IMpGraphicsDrawContext*>(this);
    return gmpi::MP_OK;
}

CColor PortableGraphicsContext_KV_VST_GUI::ToCColor(const gmpi_gui::Color& color)
{
    return CColor(Component(color.r), Component(color.g), Component(color.b), Component(color.a));
}

bool PortableGraphicsContext_KV_VST_GUI::BrushColor(gmpi_gui::IBrush* brush, CColor& color)
{
    if (brush == nullptr)
        return false;
    void* face = nullptr;
    if (brush->queryInterface(gmpi_gui::KV_IID_GRAPHICS_SOLIDCOLORBRUSH, &face) != gmpi::MP_OK || face == nullptr)
        return false;
    auto* solid = static_cast<gmpi_gui::ISolidColorBrush*>(face);
    color = ToCColor(solid->GetColor());
    solid->release();
    return true;
}

void PortableGraphicsContext_KV_VST_GUI::GetFactory(gmpi_gui::IFactory** returnFactory)
{
    if (returnFactory)
        *returnFactory = new PGCVG_Factory(cell_);
}

int32_t PortableGraphicsContext_KV_VST_GUI::CreateSolidColorBrush(const gmpi_gui::Color& color,
                                                                  gmpi_gui::ISolidColorBrush** returnBrush)
{
    if (returnBrush == nullptr)
        return gmpi::MP_FAIL;
    *returnBrush = new PGCVG_solidColorBrush(color);
    return gmpi::MP_OK;
}

void PortableGraphicsContext_KV_VST_GUI::DrawRectangle(const gmpi_gui::Rect& rect, gmpi_gui::IBrush* brush,
                                                       float strokeWidth, gmpi_gui::IStrokeStyle*)
{
    CColor color;
    if (!BrushColor(brush, color))
        return;
    context_->setFrameColor(color);
    context_->setFillColor(CColor(0, 0, 0, 0));
    context_->setLineWidth(strokeWidth);
    const bool odd = std::fmod(std::trunc(static_cast<double>(strokeWidth)), 2.0) != 0.0;
    const double dx = odd ? -1.0 : -1.5;
    CRect moved = ToCRect(rect);
    moved.offset(dx, -0.5);
    context_->drawRect(moved, VSTGUI::kDrawStroked);
}

void PortableGraphicsContext_KV_VST_GUI::FillRectangle(const gmpi_gui::Rect& rect, gmpi_gui::IBrush* brush)
{
    CColor color;
    if (!BrushColor(brush, color))
        return;
    context_->setFillColor(color);
    context_->drawRect(ToCRect(rect), VSTGUI::kDrawFilled);
}

void PortableGraphicsContext_KV_VST_GUI::DrawLine(gmpi_gui::Point point0, gmpi_gui::Point point1,
                                                  gmpi_gui::IBrush* brush, float strokeWidth, gmpi_gui::IStrokeStyle*)
{
    CColor color;
    if (!BrushColor(brush, color))
        return;
    context_->setFrameColor(color);
    context_->setLineWidth(strokeWidth);
    context_->drawLine(CPoint(point0.x, point0.y), CPoint(point1.x, point1.y));
}

void PortableGraphicsContext_KV_VST_GUI::DrawGeometry(gmpi_gui::IGeometry* geometry, gmpi_gui::IBrush* brush,
                                                      float strokeWidth, gmpi_gui::IStrokeStyle*)
{
    PGCVG_PathGeometry* path = PGCVG_PathGeometry::From(geometry);
    CColor color;
    if (path == nullptr || !BrushColor(brush, color))
        return;
    context_->setLineWidth(strokeWidth);
    context_->setFrameColor(color);
    context_->setDrawMode(VSTGUI::kAntiAliasing);
    context_->drawGraphicsPath(path->Path(), VSTGUI::CDrawContext::kPathStroked, nullptr);
}

void PortableGraphicsContext_KV_VST_GUI::DrawTextU(const char* utf8String, int32_t stringLength,
                                                   gmpi_gui::IMpGraphicsTextFormat* textFormat,
                                                   gmpi_gui::Rect layoutRect, gmpi_gui::IBrush* brush, int32_t)
{
    PGCVG_textFormat* format = PGCVG_textFormat::From(textFormat);
    CColor color;
    if (utf8String == nullptr || format == nullptr || !BrushColor(brush, color))
        return;
    CRect r = ToCRect(layoutRect);
    context_->setFont(format->Font(), format->FontSize(), format->Style());
    context_->setFontColor(color);

    if (format->VerticalAlignment() != 1)
    {
        gmpi_gui::Size extent;
        format->GetTextExtentU(utf8String, stringLength, extent);
        const double h = extent.height;
        if (format->VerticalAlignment() == 0)
            r.bottom = std::min(r.top + h, r.bottom);
        else
            r.top = std::max(r.bottom - h, r.top);
    }

    // Moves the text so that its baseline sits where the portable layer puts it.
    const double s = format->FontSize();
    const double half = (r.bottom - r.top) * 0.5;
    const VSTGUI::IPlatformFont* font = format->PlatformFont();
    const double c = font ? font->getCapHeight() : 0.0;
    const double d = c > 0.0 ? half - 0.5 * c : half - 0.5 * s + 1.0;
    const float shift = static_cast<float>(static_cast<float>(r.bottom - d + 1.0 - s) - r.top);
    r.top -= shift;
    r.bottom -= shift;

    context_->drawString(utf8String, r, static_cast<VSTGUI::CHoriTxtAlign>(format->HorizontalAlignment()),
                         (r.bottom - r.top) > 15.0);
}

void PortableGraphicsContext_KV_VST_GUI::DrawBitmap(gmpi_gui::IMpBitmap* bitmap, gmpi_gui::Rect destinationRectangle,
                                                    float, int32_t, gmpi_gui::Rect sourceRectangle)
{
    PGCVG_bitmap* ours = PGCVG_bitmap::From(bitmap);
    if (ours == nullptr)
        return;
    ours->Bitmap()->draw(context_, ToCRect(destinationRectangle), CPoint(sourceRectangle.left, sourceRectangle.top),
                         1.0f);
}
