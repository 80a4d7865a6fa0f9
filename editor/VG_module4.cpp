#include "editor/VG_module4.h"

#include <cstring>
#include <vector>

#include "editor/EditorLog.h"
#include "editor/PGCC_PlatformTextEntry.h"
#include "editor/PGCVG_PlatformFileDialog.h"
#include "editor/PGCVG_PlatformMenu.h"
#include "editor/PGCVG_bitmap.h"
#include "editor/PGCVG_textFormat.h"
#include "editor/VG_module4View.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/IPlatformBitmap.h"
#include "editor/KVVSTGUIEditor.h"

using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace
{
constexpr const char* kResourceScheme = "resource://";

} // namespace

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

