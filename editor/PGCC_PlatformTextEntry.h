#pragma once
// Text entry for a graphics-API module: the frame's in-place text box over a
// rectangle of the module, editing the text the module set. UI thread only.

#include <string>

#include "editor/GmpiGuiObject.h"

namespace VSTGUI
{
class CView;
}

namespace GmpiGuiHosting
{

class PGCC_PlatformTextEntry final
    : public GmpiGuiObject<gmpi_gui::IMpPlatformText, gmpi_gui::KV_IID_GRAPHICS_PLATFORM_TEXT>
{
public:
    // originX, originY: the module's top-left in frame coordinates; host is not owned.
    PGCC_PlatformTextEntry(VSTGUI::CView* host, int32_t originX, int32_t originY);

    int32_t SetText(const char* text) override;
    int32_t GetText(gmpi::IMpUnknown* returnString) override;
    // MP_NOSUPPORT for a callback without KV_IID_COMPLETION_CALLBACK (nothing
    // shown); MP_FAIL when no box could be shown (no window, no rectangle, or
    // another menu or dialog of this editor open). Otherwise the box opens
    // and this returns at once; the box edits the text, and when the user
    // ends it the callback is called with 0. A box cancelled because the
    // editor closed or its window was hidden first calls nothing.
    int32_t ShowAsync(const gmpi_gui::Rect* rect, gmpi::IMpUnknown* callback) override;
    int32_t SetAlignment(int32_t) override { return gmpi::MP_OK; }

    const std::string& Text() const { return text_; }
    int32_t OriginX() const { return originX_; }
    int32_t OriginY() const { return originY_; }

private:
    ~PGCC_PlatformTextEntry() override = default;

    VSTGUI::CView* host_;
    int32_t originX_;
    int32_t originY_;
    std::string text_;
};

} // namespace GmpiGuiHosting
