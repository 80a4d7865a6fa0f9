#pragma once
// A file dialog a graphics-API module asks for: the toolkit's file selector
// for opening, saving or choosing a folder. UI thread only.

#include "editor/GmpiGuiObject.h"

namespace VSTGUI
{
class CNewFileSelector;
class CView;
} // namespace VSTGUI

class PGCVG_PlatformFileDialog final
    : public GmpiGuiObject<gmpi_gui::IMpPlatformFileDialog, gmpi_gui::KV_IID_GRAPHICS_PLATFORM_FILE_DIALOG>
{
public:
    // Takes the selector over; host is not owned.
    PGCVG_PlatformFileDialog(VSTGUI::CNewFileSelector* selector, VSTGUI::CView* host);

    // An empty description becomes "All Files" for "*", else the extension and " Files".
    int32_t AddExtension(const char* extension, const char* description) override;
    int32_t SetInitialFilename(const char* text) override;
    int32_t setInitialDirectory(const char* text) override;
    // MP_NOSUPPORT without a return string, MP_FAIL when cancelled or while
    // another menu or dialog of this editor is open, else MP_OK with the
    // chosen file.
    int32_t Show(gmpi::IMpUnknown* returnString) override;

    VSTGUI::CNewFileSelector* Selector() const { return selector_; }

private:
    ~PGCVG_PlatformFileDialog() override;

    VSTGUI::CNewFileSelector* selector_;
    VSTGUI::CView* host_;
};
