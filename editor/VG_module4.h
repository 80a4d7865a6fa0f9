#pragma once
// The host of a GUI module that draws itself through the portable graphics
// interfaces: its wrapper (pins, handle, messages, title bar), the graphics
// host it calls (text formats, bitmaps, menus, file dialogs, text entry,
// capture), and the toolkit view placed in the editor's frame, which turns
// paints and mouse events into calls on the module's graphics face.
//
// The editor owns its wrappers while the frame's containers count their
// views, so the view is a small object of its own: it forwards to its host
// while the host lives and does nothing after. UI thread only.

#include <vector>

#include "editor/GuiModuleWrapper.h"
#include "editor/toolkit/CButtonState.h"
#include "editor/toolkit/CPoint.h"
#include "sdk/gmpi_gui.h"

namespace VSTGUI
{
class CDrawContext;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_module4 : public GuiModuleWrapper, public gmpi_gui::IMpGraphicsHost
{
public:
    // Pointer flags given to the module.
    static constexpr int32_t kPointerDownFlags = 0x2405;
    static constexpr int32_t kPointerUpFlags = 0x2400;
    static constexpr int32_t kPointerMoveFlags = 0x2414;
    static constexpr int32_t kButtonMask = 0x30E;
    // A stream image larger than this is refused.
    static constexpr int64_t kMaxStreamImageBytes = 64 * 1024 * 1024;

    // Sets itself as the module's host, takes the module's graphics face and
    // the title bar's font ("control_label").
    VG_module4(KVVSTGUIEditor* editor, Module_Info* moduleType, int handle, const char* title,
               gmpi::IMpUnknown* object);
    ~VG_module4() override;

    // UI: every face. MP_IID_UI_HOST2 gives the wrapper face; the graphics
    // host ids and MP_IID_UNKNOWN the graphics host face; others MP_NOSUPPORT.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    // UI: gmpi_gui::IMpGraphicsHost.
    int32_t createPlatformFileDialog(int32_t dialogType, gmpi::IMpUnknown** returnDialog) override;
    void invalidateRect(const gmpi_gui::Rect* invalidRect) override;
    void invalidateMeasure() override {}
    int32_t CreateTextFormat(const char* fontFamilyName, void* fontCollection, gmpi_gui::Font::Weight fontWeight,
                             gmpi_gui::Font::Style fontStyle, gmpi_gui::Font::Stetch fontStretch, float fontSize,
                             void* localeName, gmpi_gui::IMpGraphicsTextFormat** textFormat) override;
    int32_t LoadStreamImage(gmpi::IMpUnknown* stream, void** returnBitmap) override;
    int32_t createPlatformMenu(gmpi::IMpUnknown** returnMenu) override;
    int32_t setCapture() override;
    int32_t getCapture(int32_t& returnValue) override;
    int32_t releaseCapture() override;
    int32_t createPlatformTextEdit(gmpi::IMpUnknown** returnTextEdit) override;
    int32_t CreateImage(int32_t width, int32_t height, void** returnBitmap) override;
    int32_t LoadImage(const char* utf8Uri, void** returnBitmap) override;

    // UI: the wrapper's layout.
    VSTGUI::CView* getVstGuiView() override;
    void AdjustRefCount() override;
    void DoMeasure(MpSize available, MpSize& desired) override;
    void DoArrange(float dx, float dy) override;
    int32_t measure(MpSize available, MpSize& desired);
    // UI: an item of the context menu being made (the older face too).
    int32_t addContextMenuItem(const char* text, int32_t id, int32_t flags);
    int32_t addContextMenuItem(wchar_t* menuText, int32_t id, int32_t flags) override;

    // UI: what the view forwards.
    void Draw(VSTGUI::CDrawContext* context);
    VSTGUI::CMouseEventResult OnMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons);
    VSTGUI::CMouseEventResult OnMouseUp(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons);
    VSTGUI::CMouseEventResult OnMouseMoved(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons);

    gmpi_gui::IMpGraphics* Graphics() const { return graphics_; }
    bool Capture() const { return capture_; }
    // The title bar's height, 0 without one.
    float TitleHeight() const;

    class View;

private:
    friend class View;
    gmpi_gui::Point ModulePoint(const VSTGUI::CPoint& where) const;
    // The module's top-left (below the title bar) in frame coordinates.
    VSTGUI::CPoint ModuleOriginInFrame() const;
    void ShowContextMenu(VSTGUI::CPoint& where, gmpi_gui::Point modulePoint);

    View* view_;
    // Copies of the view made by the toolkit, told when the host goes.
    std::vector<View*> views_;
    gmpi_gui::IMpGraphics* graphics_ = nullptr;
    bool capture_ = false;
};
#pragma GCC diagnostic pop
