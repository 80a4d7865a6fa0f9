#include "editor/VG_module4.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "core/MpString.h"
#include "core/conversion.h"
#include "editor/ContextMenuHelper.h"
#include "editor/EditorLog.h"
#include "editor/PGCC_PlatformTextEntry.h"
#include "editor/PGCVG_PlatformFileDialog.h"
#include "editor/PGCVG_PlatformMenu.h"
#include "editor/PGCVG_bitmap.h"
#include "editor/PGCVG_textFormat.h"
#include "editor/PortableGraphicsContext_KV_VST_GUI.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/CView.h"
#include "editor/toolkit/IPlatformBitmap.h"
#include "shell/KVVSTGUIEditor.h"

using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace
{
constexpr const char* kResourceScheme = "resource://";

// A module's size as a whole number of pixels; NaN and infinities give 0.
int32_t WholePixels(float value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int32_t>(std::fmax(-1e9f, std::fmin(value, 1e9f)));
}
} // namespace

// The toolkit view of a graphics-API module.
class VG_module4::View final : public VSTGUI::CView
{
public:
    explicit View(VG_module4* host) : CView(CRect(0, 0, 0, 0)), host_(host) {}
    View(const View& other) : CView(other), host_(other.host_)
    {
        if (host_)
            host_->views_.push_back(this);
    }

    void draw(VSTGUI::CDrawContext* context) override
    {
        if (host_)
            host_->Draw(context);
    }
    VSTGUI::CMouseEventResult onMouseDown(CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseDown, where, buttons);
    }
    VSTGUI::CMouseEventResult onMouseUp(CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseUp, where, buttons);
    }
    VSTGUI::CMouseEventResult onMouseMoved(CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseMoved, where, buttons);
    }
    CView* newCopy() const override { return new View(*this); }
    void Detach() { host_ = nullptr; }
    VG_module4* Host() const { return host_; }

private:
    ~View() override
    {
        if (host_ && host_->view_ != this)
            std::erase(host_->views_, this);
    }
    using Handler = VSTGUI::CMouseEventResult (VG_module4::*)(CPoint&, const VSTGUI::CButtonState&);
    VSTGUI::CMouseEventResult Forward(Handler handler, CPoint& where, const VSTGUI::CButtonState& buttons)
    {
        if (host_ == nullptr)
            return VSTGUI::kMouseEventNotHandled;
        // A handler may run a menu during which the frame lets go of the view.
        remember();
        const VSTGUI::CMouseEventResult result = (host_->*handler)(where, buttons);
        forget();
        return result;
    }

    VG_module4* host_;
};

VG_module4::VG_module4(KVVSTGUIEditor* editor, Module_Info* moduleType, int handle, const char* title,
                       gmpi::IMpUnknown* object)
    : GuiModuleWrapper(editor, moduleType, handle, title, object), view_(new View(this))
{
    if (plugin_)
        plugin_->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(this));
    void* face = nullptr;
    if (object && object->queryInterface(gmpi_gui::KV_IID_GRAPHICS_MPGUI, &face) == gmpi::MP_OK)
        graphics_ = static_cast<gmpi_gui::IMpGraphics*>(face);
    if (titleBar_ && editor_)
        titleBar_->font = editor_->getFontInfo(L"control_label");
}

VG_module4::~VG_module4()
{
    if (graphics_)
        graphics_->release();
    graphics_ = nullptr;
    for (View* copy : views_)
        copy->Detach();
    view_->Detach();
    view_->forget();
}

int32_t VG_module4::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UI_HOST2)
        *returnInterface = static_cast<gmpi::IMpUserInterfaceHost2*>(this);
    else if (iid == gmpi_gui::KV_IID_GRAPHICS_HOST || iid == gmpi_gui::KV_IID_GRAPHICS_HOST_BASE ||
             iid == gmpi::MP_IID_UNKNOWN)
        *returnInterface = static_cast<gmpi_gui::IMpGraphicsHost*>(this);
    else
        return gmpi::MP_NOSUPPORT;
    return gmpi::MP_OK;
}

float VG_module4::TitleHeight() const
{
    return titleBar_ ? static_cast<float>(titleBar_->font.PixelHeight) : 0.0f;
}

CPoint VG_module4::ModuleOriginInFrame() const
{
    const CRect& size = view_->getViewSize();
    CPoint origin(size.left, size.top + TitleHeight());
    return view_->localToFrame(origin);
}

int32_t VG_module4::createPlatformFileDialog(int32_t dialogType, gmpi::IMpUnknown** returnDialog)
{
    if (returnDialog == nullptr)
        return gmpi::MP_FAIL;
    *returnDialog = nullptr;
    VSTGUI::CNewFileSelector* selector =
        dialogType >= 0 && dialogType <= 2
            ? VSTGUI::CNewFileSelector::create(view_->getFrame(), static_cast<VSTGUI::CNewFileSelector::Style>(dialogType))
            : nullptr;
    if (selector == nullptr)
    {
        EditorLog("module %d asked for a file dialog of unknown kind %d: none made.", handle_, dialogType);
        return gmpi::MP_FAIL;
    }
    *returnDialog = static_cast<gmpi_gui::IMpPlatformFileDialog*>(new PGCVG_PlatformFileDialog(selector, view_));
    return gmpi::MP_OK;
}

void VG_module4::invalidateRect(const gmpi_gui::Rect* invalidRect)
{
    if (invalidRect == nullptr)
    {
        view_->setDirty(false);
        view_->invalidRect(view_->getViewSize());
        return;
    }
    // Module coordinates, moved to where the module is drawn.
    const CRect& size = view_->getViewSize();
    CRect dirty(invalidRect->left, invalidRect->top, invalidRect->right, invalidRect->bottom);
    dirty.offset(size.left, size.top + TitleHeight());
    view_->invalidRect(dirty);
}

int32_t VG_module4::CreateTextFormat(const char* fontFamilyName, void*, gmpi_gui::Font::Weight,
                                     gmpi_gui::Font::Style fontStyle, gmpi_gui::Font::Stetch, float fontSize, void*,
                                     gmpi_gui::IMpGraphicsTextFormat** textFormat)
{
    return PGCVG_textFormat::Create(fontFamilyName, fontStyle, fontSize, textFormat);
}

int32_t VG_module4::LoadStreamImage(gmpi::IMpUnknown* stream, void** returnBitmap)
{
    if (returnBitmap == nullptr || stream == nullptr)
        return gmpi::MP_FAIL;
    void* face = nullptr;
    if (stream->queryInterface(gmpi::MP_IID_PROTECTED_FILE2, &face) != gmpi::MP_OK || face == nullptr)
        return gmpi::MP_FAIL;
    auto* file = static_cast<gmpi::IProtectedFile2*>(face);
    int64_t size = 0;
    int64_t read = 0;
    std::vector<uint8_t> bytes;
    bool ok = file->getSize(&size) == gmpi::MP_OK && size > 0 && size <= kMaxStreamImageBytes;
    if (ok)
    {
        bytes.resize(static_cast<std::size_t>(size));
        ok = file->read(bytes.data(), size, &read) == gmpi::MP_OK && read == size;
    }
    file->release();
    VSTGUI::IPlatformBitmap* platform =
        ok ? VSTGUI::IPlatformBitmap::createFromMemory(bytes.data(), static_cast<uint32_t>(size)) : nullptr;
    if (platform == nullptr)
    {
        EditorLog("module %d: an image stream of %lld bytes could not be read as an image.", handle_,
                  static_cast<long long>(size));
        return gmpi::MP_FAIL;
    }
    auto* bitmap = new VSTGUI::CBitmap(platform);
    platform->forget();
    PGCVG_bitmap::HandOut(bitmap, returnBitmap);
    return gmpi::MP_OK;
}

int32_t VG_module4::createPlatformMenu(gmpi::IMpUnknown** returnMenu)
{
    if (returnMenu == nullptr)
        return gmpi::MP_FAIL;
    *returnMenu = static_cast<gmpi_gui::IMpPlatformMenu*>(new PGCVG_PlatformMenu(view_, ModuleOriginInFrame()));
    return gmpi::MP_OK;
}

int32_t VG_module4::setCapture()
{
    capture_ = true;
    return gmpi::MP_OK;
}

int32_t VG_module4::getCapture(int32_t& returnValue)
{
    returnValue = capture_ ? 1 : 0;
    return gmpi::MP_OK;
}

int32_t VG_module4::releaseCapture()
{
    capture_ = false;
    return gmpi::MP_OK;
}

int32_t VG_module4::createPlatformTextEdit(gmpi::IMpUnknown** returnTextEdit)
{
    if (returnTextEdit == nullptr)
        return gmpi::MP_FAIL;
    const CPoint origin = ModuleOriginInFrame();
    *returnTextEdit = static_cast<gmpi_gui::IMpPlatformText*>(new GmpiGuiHosting::PGCC_PlatformTextEntry(
        view_, static_cast<int32_t>(origin.x), static_cast<int32_t>(origin.y)));
    return gmpi::MP_OK;
}

int32_t VG_module4::CreateImage(int32_t width, int32_t height, void** returnBitmap)
{
    if (returnBitmap == nullptr)
        return gmpi::MP_FAIL;
    const int32_t limit = VSTGUI::IPlatformBitmap::kMaxSize;
    if (width <= 0 || height <= 0 || width > limit || height > limit)
    {
        EditorLog("module %d asked for an image of %d x %d pixels: none made.", handle_, width, height);
        return gmpi::MP_FAIL;
    }
    auto* bitmap = new VSTGUI::CBitmap(width, height);
    if (!bitmap->isLoaded())
    {
        bitmap->forget();
        return gmpi::MP_FAIL;
    }
    PGCVG_bitmap::HandOut(bitmap, returnBitmap);
    return gmpi::MP_OK;
}

int32_t VG_module4::LoadImage(const char* utf8Uri, void** returnBitmap)
{
    if (utf8Uri == nullptr || returnBitmap == nullptr)
        return gmpi::MP_FAIL;
    VSTGUI::IPlatformBitmap* platform = nullptr;
    const std::size_t schemeLength = std::strlen(kResourceScheme);
    if (std::strncmp(utf8Uri, kResourceScheme, schemeLength) == 0)
    {
        platform = VSTGUI::IPlatformBitmap::create();
        if (platform && !platform->load(VSTGUI::CResourceDescription(utf8Uri + schemeLength)))
        {
            platform->forget();
            platform = nullptr;
        }
    }
    else
    {
        platform = VSTGUI::IPlatformBitmap::createFromPath(utf8Uri);
    }
    if (platform == nullptr)
        return gmpi::MP_FAIL;
    auto* bitmap = new VSTGUI::CBitmap(platform);
    platform->forget();
    PGCVG_bitmap::HandOut(bitmap, returnBitmap);
    return gmpi::MP_OK;
}

VSTGUI::CView* VG_module4::getVstGuiView()
{
    return view_;
}

void VG_module4::AdjustRefCount()
{
    view_->remember();
}

void VG_module4::DoMeasure(MpSize available, MpSize& desired)
{
    if (graphics_ == nullptr)
    {
        desired = MpSize{0, 0};
        return;
    }
    gmpi_gui::Size wanted{static_cast<float>(desired.x), static_cast<float>(desired.y)};
    graphics_->measure(gmpi_gui::Size{static_cast<float>(available.x), static_cast<float>(available.y)}, &wanted);
    desired = MpSize{WholePixels(wanted.width), WholePixels(wanted.height)};
}

int32_t VG_module4::measure(MpSize available, MpSize& desired)
{
    desired = available;
    return gmpi::MP_OK;
}

void VG_module4::DoArrange(float dx, float dy)
{
    if (graphics_ == nullptr)
        return;
    const CRect rect(rect_.left + static_cast<double>(dx), rect_.top + static_cast<double>(dy),
                     rect_.right + static_cast<double>(dx), rect_.bottom + static_cast<double>(dy));
    view_->setViewSize(rect, true);
    view_->setMouseableArea(rect);
    const float width = static_cast<float>(rect_.right - rect_.left);
    const float height = static_cast<float>(rect_.bottom - rect_.top);
    const float title = TitleHeight();
    if (titleBar_)
    {
        titleBar_->left = 0;
        titleBar_->top = 0;
        titleBar_->right = width;
        titleBar_->bottom = title;
    }
    graphics_->arrange(gmpi_gui::Rect{0, 0, width, height - title});
    if (plugin_)
    {
        gmpi_sdk::MpString tip;
        plugin_->getToolTip(0, 0, &tip);
        if (!tip.str().empty())
            view_->setAttribute(VSTGUI::kCViewTooltipAttribute, static_cast<uint32_t>(tip.str().size() + 1),
                                tip.str().c_str());
    }
}

int32_t VG_module4::addContextMenuItem(const char* text, int32_t id, int32_t flags)
{
    return GmpiGuiHosting::ContextItemsSink::Instance()->AddItem(text, id, flags);
}

int32_t VG_module4::addContextMenuItem(wchar_t* menuText, int32_t id, int32_t flags)
{
    const std::string text = menuText ? WStringToUtf8(menuText) : std::string();
    return addContextMenuItem(text.c_str(), id, flags);
}

void VG_module4::Draw(VSTGUI::CDrawContext* context)
{
    PortableGraphicsContext_KV_VST_GUI portable(context);
    // The context draws in the view's parent coordinates.
    const CPoint topLeft = view_->getViewSize().getTopLeft();
    VSTGUI::CDrawContext::Transform toModule(*context, VSTGUI::CGraphicsTransform().translate(topLeft));
    if (titleBar_)
    {
        titleBar_->OnRender(this, &portable);
        VSTGUI::CDrawContext::Transform belowTitle(*context,
                                                   VSTGUI::CGraphicsTransform().translate(0, TitleHeight()));
        if (graphics_)
            graphics_->OnRender(&portable);
    }
    else if (graphics_)
    {
        graphics_->OnRender(&portable);
    }
}

gmpi_gui::Point VG_module4::ModulePoint(const CPoint& where) const
{
    const CRect& size = view_->getViewSize();
    return gmpi_gui::Point{static_cast<float>(where.x - size.left),
                           static_cast<float>(where.y - (size.top + TitleHeight()))};
}

VSTGUI::CMouseEventResult VG_module4::OnMouseDown(CPoint& where, const VSTGUI::CButtonState& buttons)
{
    if (graphics_ == nullptr)
        return VSTGUI::kMouseEventNotHandled;
    const gmpi_gui::Point point = ModulePoint(where);
    const int32_t pressed = buttons & kButtonMask;
    int32_t flags = pressed == VSTGUI::kRButton ? kPointerDownFlags | gmpi_gui::GG_POINTER_FLAG_SECONDBUTTON
                                                : kPointerDownFlags;
    if (pressed == VSTGUI::kLButton)
        flags |= gmpi_gui::GG_POINTER_FLAG_FIRSTBUTTON;
    if (graphics_->onPointerDown(flags, point) == gmpi::MP_OK)
        return VSTGUI::kMouseEventHandled;
    if (pressed != VSTGUI::kRButton)
        return VSTGUI::kMouseEventNotHandled;
    ShowContextMenu(where, point);
    return VSTGUI::kMouseEventHandled;
}

VSTGUI::CMouseEventResult VG_module4::OnMouseUp(CPoint& where, const VSTGUI::CButtonState& buttons)
{
    if (graphics_ == nullptr)
        return VSTGUI::kMouseEventNotHandled;
    const int32_t pressed = buttons & kButtonMask;
    int32_t flags = pressed == VSTGUI::kRButton ? kPointerUpFlags | gmpi_gui::GG_POINTER_FLAG_SECONDBUTTON
                                                : kPointerUpFlags;
    if (pressed == VSTGUI::kLButton)
        flags |= gmpi_gui::GG_POINTER_FLAG_FIRSTBUTTON;
    return graphics_->onPointerUp(flags, ModulePoint(where)) == gmpi::MP_OK ? VSTGUI::kMouseEventHandled
                                                                          : VSTGUI::kMouseEventNotHandled;
}

VSTGUI::CMouseEventResult VG_module4::OnMouseMoved(CPoint& where, const VSTGUI::CButtonState&)
{
    if (graphics_ == nullptr)
        return VSTGUI::kMouseEventNotHandled;
    return graphics_->onPointerMove(kPointerMoveFlags, ModulePoint(where)) == gmpi::MP_OK
               ? VSTGUI::kMouseEventHandled
               : VSTGUI::kMouseEventNotHandled;
}

void VG_module4::ShowContextMenu(CPoint& where, gmpi_gui::Point modulePoint)
{
    auto* items = GmpiGuiHosting::ContextItemsSink::Instance();
    items->Clear();
    int32_t selected = -1;
    if (legacyPlugin_)
        legacyPlugin_->onCreateContextMenu();
    if (plugin_)
        plugin_->populateContextMenu(modulePoint.x, modulePoint.y, items);
    const std::wstring list = Utf8ToWstring(items->EnumList());
    items->Clear();
    if (!ContextMenuHelper::DoPopupMenu(view_, where, list, &selected))
        return;
    if (legacyPlugin_)
        legacyPlugin_->onContextMenu(selected);
    if (plugin_)
        plugin_->onContextMenu(selected);
}
