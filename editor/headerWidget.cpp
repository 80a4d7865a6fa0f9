#include "editor/GuiModuleWrapper.h"
#include "sdk/gmpi_gui.h"

int32_t headerWidget::OnRender(gmpi_gui::IMpGraphicsHost* host, gmpi::IMpUnknown* context)
{
    void* face = nullptr;
    if (context == nullptr || context->queryInterface(gmpi_gui::KV_IID_GRAPHICS_DRAWCONTEXT, &face) != gmpi::MP_OK ||
        face == nullptr)
        return gmpi::MP_NOSUPPORT;
    auto* drawing = static_cast<gmpi_gui::IMpGraphicsDrawContext*>(face);

    // The colour is read as 0xRRGGBB.
    const auto component = [this](int shift) { return static_cast<float>((font.Color >> shift) & 0xFF) / 255.0f; };
    const gmpi_gui::Color colour{component(16), component(8), component(0), 1.0f};
    gmpi_gui::ISolidColorBrush* brush = nullptr;
    drawing->CreateSolidColorBrush(colour, &brush);
    gmpi_gui::IMpGraphicsTextFormat* format = nullptr;
    if (host)
        host->CreateTextFormat(font.Facename.c_str(), nullptr, gmpi_gui::Font::Normal, gmpi_gui::Font::StyleNormal,
                               gmpi_gui::Font::StretchNormal, static_cast<float>(font.Size), nullptr, &format);
    if (brush && format)
    {
        format->SetTextAlignment(gmpi_gui::kAlignCenter);
        const gmpi_gui::Rect bar{0, -2, right - left, static_cast<float>(font.PixelHeight)};
        drawing->DrawTextU(title.c_str(), static_cast<int32_t>(title.size()), format, bar, brush, 0);
    }
    if (format)
        format->release();
    if (brush)
        brush->release();
    drawing->release();
    return gmpi::MP_OK;
}
