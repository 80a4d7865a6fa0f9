#include "editor/VG_module4.h"

#include <cmath>

#include "core/MpString.h"
#include "core/conversion.h"
#include "editor/ContextMenuHelper.h"
#include "editor/PortableGraphicsContext_KV_VST_GUI.h"
#include "editor/VG_module4View.h"
#include "editor/toolkit/CDrawContext.h"

using VSTGUI::CPoint;
using VSTGUI::CRect;

// Layout, drawing, the mouse and the context menu of the graphics host.

namespace
{
// A module's size as a whole number of pixels; NaN and infinities give 0.
int32_t WholePixels(float value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int32_t>(std::fmax(-1e9f, std::fmin(value, 1e9f)));
}
} // namespace

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
    if (legacyPlugin_)
        legacyPlugin_->onCreateContextMenu();
    if (plugin_)
        plugin_->populateContextMenu(modulePoint.x, modulePoint.y, items);
    const std::wstring list = Utf8ToWstring(items->EnumList());
    items->Clear();
    // The choice comes later. The editor closes its window, which ends the
    // menu unchosen, before it lets go of its modules.
    ContextMenuHelper::DoPopupMenu(view_, where, list, [this](int32_t selected) {
        if (legacyPlugin_)
            legacyPlugin_->onContextMenu(selected);
        if (plugin_)
            plugin_->onContextMenu(selected);
    });
}
