#pragma once
// A popup menu a graphics-API module fills and pops up at a point of its
// own: an option menu of the toolkit shown at the module's place in the
// frame. UI thread only.

#include <vector>

#include "editor/GmpiGuiObject.h"
#include "editor/toolkit/CPoint.h"

namespace VSTGUI
{
class COptionMenu;
class CView;
} // namespace VSTGUI

class PGCVG_PlatformMenu final
    : public GmpiGuiObject<gmpi_gui::IMpPlatformMenu, gmpi_gui::KV_IID_GRAPHICS_PLATFORM_MENU>
{
public:
    // More items than this are refused.
    static constexpr int32_t kMaxItems = 4096;

    // origin: the module's top-left in frame coordinates; host is not owned.
    PGCVG_PlatformMenu(VSTGUI::CView* host, VSTGUI::CPoint origin);

    // The item goes in at position id (past the end, or a negative id,
    // appends); MP_FAIL past kMaxItems.
    int32_t AddItem(const char* text, int32_t id) override;
    // *returnValue: the id given with the chosen item, -1 when none was
    // chosen. MP_FAIL (and -1) while another menu or dialog of this editor
    // is open.
    int32_t Popup(int32_t* returnValue, float x, float y) override;
    int32_t SetAlignment(int32_t) override { return gmpi::MP_OK; }

    VSTGUI::COptionMenu* Menu() const { return menu_; }

private:
    ~PGCVG_PlatformMenu() override;

    VSTGUI::COptionMenu* menu_;
    VSTGUI::CView* host_;
    VSTGUI::CPoint origin_;
    // The id of each entry, by position.
    std::vector<int32_t> ids_;
    bool warned_ = false;
};
